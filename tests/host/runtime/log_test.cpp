// The log: the ring of the last 25 messages, each cut to the buffer, and the logging switch.
#include "tests/host/runtime/runtime_checks.h"

using Log = FreshRuntime;

TEST_F(Log, RingKeepsTheLastTwentyFiveMessagesEachCutTo1023Characters) {
    EXPECT_EQ(2, ZEPHA_log("%d", 42));
    EXPECT_EQ(0, ZEPHA_log("%s", ""));
    const std::string long_text(5000, 'x');
    EXPECT_EQ(1023, ZEPHA_log("%s", long_text.c_str()));
    EXPECT_EQ((std::vector<std::string>{"42", "", std::string(1023, 'x')}), log_ring())
        << "messages before start-up are kept";

    start_runtime();
    for (int i = 0; i < 1000; i++)
        ZEPHA_log("line %d\n", i);
    const std::vector<std::string> lines = log_ring();
    ASSERT_EQ(25u, lines.size());
    EXPECT_EQ("line 975\n", lines.front());
    EXPECT_EQ("line 999\n", lines.back());
}

TEST_F(Log, SwitchBeforeAndAfterStartUp) {
    EXPECT_EQ(0, ZEPHA_set_logging(0));
    EXPECT_EQ(1, g_logging);

    start_runtime();
    EXPECT_EQ(1, ZEPHA_set_logging(0));
    EXPECT_EQ(0, g_logging);
    EXPECT_FALSE(checked(IDM_LOGGING));
    EXPECT_TRUE(headless::log_window_visible()) << "turning logging off does not hide the log";

    show_log_window(0);
    EXPECT_EQ(1, ZEPHA_set_logging(5));
    EXPECT_EQ(1, g_logging);
    EXPECT_TRUE(checked(IDM_LOGGING));
    EXPECT_TRUE(headless::log_window_visible());
}
