#include "tools/replay/core/script_report.h"

#include "runtime/pure/script_line.h"

#include <cstring>

using namespace zepha;

// ---- Internal functions ----

namespace {

const char BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
constexpr char END_OF_FILE_MARK = '\x1A';

// The bytes as the reader's stream hands them out.
std::string stream_bytes(const std::string &bytes, ScriptTextMode mode, bool &cut_by_mark) {
    cut_by_mark = false;
    if (mode == ScriptTextMode::BYTES)
        return bytes;
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++) {
        if (bytes[i] == END_OF_FILE_MARK) {
            cut_by_mark = i + 1 < bytes.size();
            break;
        }
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i];
    }
    return text;
}

int64_t events_of(const ScriptRecord &record) {
    return record.kind == SCRIPT_PERIODIC && record.count > 1 ? record.count : 1;
}

} // namespace

// ---- Public functions ----

ScriptReport read_script_report(const std::string &bytes, ScriptTextMode mode) {
    bool cut_by_mark = false;
    const std::string text = stream_bytes(bytes, mode, cut_by_mark);
    ScriptReport report;
    long line = 1; // the file's line of the next byte
    size_t pos = 0;
    for (;;) {
        // One fgets: up to and including a newline, at most SCRIPT_LINE_BUFFER - 1 bytes. The
        // end-of-file indicator is set when the read ran out of bytes before either.
        const long piece_line = line;
        size_t end = pos;
        while (end < text.size() && end - pos < SCRIPT_LINE_BUFFER - 1 && text[end] != '\n')
            end++;
        const bool newline = end < text.size() && text[end] == '\n';
        if (newline)
            end++;
        const bool at_eof = !newline && end == text.size() && end - pos < SCRIPT_LINE_BUFFER - 1;
        const std::string piece = text.substr(pos, end - pos);
        pos = end;
        if (newline)
            line++;
        if (at_eof) {
            report.stop_line = piece.empty() ? piece_line - 1 : piece_line;
            report.stop = piece.empty() ? ScriptStop::END : ScriptStop::NO_NEWLINE;
            if (cut_by_mark) {
                report.stop = ScriptStop::END_OF_FILE_MARK;
                report.stop_line = piece_line;
            }
            return report;
        }
        if (piece[0] == '\n')
            continue; // blank
        const ScriptRecord record = parse_script_line(piece.c_str());
        if (record.kind == SCRIPT_UNRECOGNISED) {
            report.stop_line = piece_line;
            report.stop = piece_line == 1 && piece.compare(0, 3, BYTE_ORDER_MARK) == 0
                              ? ScriptStop::BYTE_ORDER_MARK
                              : ScriptStop::NOT_A_RECORD;
            return report;
        }
        report.events += events_of(record);
    }
}

std::string describe_script_stop(const ScriptReport &report) {
    const std::string line = "line " + std::to_string(report.stop_line);
    switch (report.stop) {
    case ScriptStop::END: break;
    case ScriptStop::NO_NEWLINE:
        return line + " has no newline at its end, so the runtime does not play it";
    case ScriptStop::NOT_A_RECORD:
        return line + " is not a record (its 7th character is not K, M or P), so playback "
                      "stops there";
    case ScriptStop::BYTE_ORDER_MARK:
        return "line 1 starts with a UTF-8 byte-order mark, so it is not a record and playback "
               "stops there";
    case ScriptStop::END_OF_FILE_MARK:
        return line + " holds a Ctrl+Z character, which ends the file for the runtime's reader";
    }
    return "read to its end";
}

std::string script_stop_field(const ScriptReport &report) {
    const std::string line = "line " + std::to_string(report.stop_line) + ": ";
    switch (report.stop) {
    case ScriptStop::END: break;
    case ScriptStop::NO_NEWLINE: return line + "no newline at the end";
    case ScriptStop::NOT_A_RECORD: return line + "not a record";
    case ScriptStop::BYTE_ORDER_MARK: return line + "byte-order mark";
    case ScriptStop::END_OF_FILE_MARK: return line + "Ctrl+Z";
    }
    return "end";
}
