#include "tools/replay/core/batch_list.h"

#include "tools/replay/core/replay_status.h"

#include <cstdio>
#include <cstdlib>

// ---- Internal functions ----

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into fields; false for an unclosed quote.
bool split_fields(const std::string &line, std::vector<std::string> &fields) {
    fields.clear();
    for (size_t i = 0; i < line.size();) {
        if (is_blank(line[i])) {
            i++;
            continue;
        }
        std::string field;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos)
                return false;
            field = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            while (i < line.size() && !is_blank(line[i]))
                field += line[i++];
        }
        fields.push_back(field);
    }
    return true;
}

// The file name without its folders and its extension.
std::string stem(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string number_or_empty(int64_t value) {
    return value < 0 ? std::string() : std::to_string(value);
}

} // namespace

// ---- Public functions ----

bool parse_batch_list(const std::string &text, std::vector<BatchEntry> &entries,
                      std::string &error) {
    entries.clear();
    size_t start = 0;
    // A UTF-8 byte-order mark, which some editors write, is not part of the first path.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    for (long line = 1; start <= text.size(); line++) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string content = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> fields;
        if (!split_fields(content, fields)) {
            error = "line " + std::to_string(line) + ": a quote is not closed";
            return false;
        }
        if (fields.empty() || fields[0][0] == '#')
            continue;
        if (fields.size() < 2 || fields.size() > 3) {
            error = "line " + std::to_string(line) + ": PROGRAM SCRIPT [EXPECTED] expected";
            return false;
        }
        BatchEntry entry;
        entry.line = line;
        entry.program = fields[0];
        entry.script = fields[1];
        if (fields.size() == 3)
            entry.expected = fields[2];
        entries.push_back(entry);
    }
    return true;
}

std::string batch_picture_name(const BatchEntry &entry) {
    char number[16];
    snprintf(number, sizeof number, "%03ld", entry.line);
    return std::string(number) + "-" + stem(entry.program) + "-" + stem(entry.script) + ".png";
}

std::string format_result_record(const ReplayResult &result) {
    std::string message = result.message;
    for (char &c : message)
        if (c == '\n' || c == '\r')
            c = ' ';
    return "status=" + std::to_string(result.status) + "\n" +
           "program_own=" + (result.program_own ? "1" : "0") + "\n" +
           "events=" + std::to_string(result.events) + "\n" + "script_stop=" + result.script_stop +
           "\n" + "differing=" + std::to_string(result.differing) + "\n" +
           "picture=" + (result.picture ? "1" : "0") + "\n" + "message=" + message + "\n";
}

bool parse_result_record(const std::string &text, ReplayResult &result) {
    result = ReplayResult{};
    bool has_status = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "status") {
            result.status = atoi(value.c_str());
            has_status = true;
        } else if (key == "program_own") {
            result.program_own = value == "1";
        } else if (key == "events") {
            result.events = strtoll(value.c_str(), nullptr, 10);
        } else if (key == "script_stop") {
            result.script_stop = value;
        } else if (key == "differing") {
            result.differing = strtoll(value.c_str(), nullptr, 10);
        } else if (key == "picture") {
            result.picture = value == "1";
        } else if (key == "message") {
            result.message = value;
        }
    }
    return has_status;
}

std::string results_csv(const std::vector<BatchEntry> &entries,
                        const std::vector<ReplayResult> &results) {
    std::string csv = "line,program,script,expected,status,meaning,events played,script "
                      "stopped,differing pixels,seconds,picture,message\r\n";
    for (size_t i = 0; i < entries.size() && i < results.size(); i++) {
        const BatchEntry &e = entries[i];
        const ReplayResult &r = results[i];
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
        csv += std::to_string(e.line) + "," + csv_field(e.program) + "," + csv_field(e.script) +
               "," + csv_field(e.expected) + "," + std::to_string(r.status) + "," +
               csv_field(status_meaning(r.status, r.program_own)) + "," +
               number_or_empty(r.events) + "," + csv_field(r.script_stop) + "," +
               number_or_empty(r.differing) + "," + seconds + "," +
               csv_field(r.picture ? batch_picture_name(e) : std::string()) + "," +
               csv_field(r.message) + "\r\n";
    }
    return csv;
}
