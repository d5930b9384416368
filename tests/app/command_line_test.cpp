// The server's command line.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

OptionsOutcome parse(std::vector<const char*> words, ServerOptions& options, std::string& error) {
    words.insert(words.begin(), "emgbridge");
    return parseServerOptions(static_cast<int>(words.size()), const_cast<char**>(words.data()), options, error);
}

}  // namespace

TEST(ServerOptions, DefaultsAndEveryOption) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), OptionsOutcome::RUN);
    EXPECT_EQ(options.port, 8888);
    EXPECT_TRUE(options.host.empty() && options.dataDir.empty() && options.console);
    EXPECT_EQ(consoleUrl(options), "http://localhost:8888/");

    ASSERT_EQ(parse({"--host", "::1", "--port", "9000", "--data-dir", "/tmp/x", "--allow-host", "a", "--allow-host",
                     "b", "--allow-origin", "http://c", "--no-console"},
                    options, error),
              OptionsOutcome::RUN);
    EXPECT_EQ(options.port, 9000);
    EXPECT_EQ(options.dataDir, "/tmp/x");
    EXPECT_EQ(options.allowedHosts, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(options.allowedOrigins, (std::vector<std::string>{"http://c"}));
    EXPECT_FALSE(options.console);
    EXPECT_EQ(consoleUrl(options), "http://[::1]:9000/");

    EXPECT_EQ(parse({"--port", "1", "--help"}, options, error), OptionsOutcome::SHOW_HELP);
    EXPECT_EQ(parse({"--version"}, options, error), OptionsOutcome::SHOW_VERSION);
}

TEST(ServerOptions, BadOptionsAreNamed) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--prot", "1"}, "unknown option '--prot'"},
        {{"8888"}, "unknown option '8888'"},
        {{"--port"}, "option --port needs a value"},
        {{"--data-dir", ""}, "option --data-dir needs a value"},
        {{"--port", "0"}, "not '0'"},
        {{"--port", "65536"}, "not '65536'"},
        {{"--port", "80x"}, "not '80x'"},
        {{"--port", "-1"}, "not '-1'"},
    };
    for (const auto& [words, message] : cases) {
        ServerOptions options;
        std::string error;
        EXPECT_EQ(parse(words, options, error), OptionsOutcome::BAD_OPTION) << message;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}
