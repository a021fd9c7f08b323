#include <gtest/gtest.h>

#include "shell/CommandLine.h"

using namespace corvane::shell;

TEST(CommandLine, SplitsCommandAndCaption) {
  struct Row {
    const char* line;
    const char* command;
    const char* caption;
    LaunchAction action;
  };
  const Row rows[] = {
      {"", "CONFIG", "Corvane Backup - Status: Active", LaunchAction::OpenMainWindow},
      // Split exactly as given: blanks are part of the command.
      {"   ", "   ", "", LaunchAction::StayHidden},
      {" CONFIG^x", " CONFIG", "x", LaunchAction::StayHidden},
      {"CONFIG ^x", "CONFIG ", "x", LaunchAction::StayHidden},
      {"CONFIG^ x ", "CONFIG", " x ", LaunchAction::OpenMainWindow},
      {"CONFIG^Corvane Backup - Status: Paused", "CONFIG", "Corvane Backup - Status: Paused", LaunchAction::OpenMainWindow},
      {"config^x", "config", "x", LaunchAction::StayHidden},
      {"LOG^Log", "LOG", "Log", LaunchAction::StayHidden},
      {"STATUS^Status", "STATUS", "Status", LaunchAction::StayHidden},
      {"CONFIG^first^second", "CONFIG", "first", LaunchAction::OpenMainWindow},
      {"CONFIG", "CONFIG", "", LaunchAction::OpenMainWindow},  // no "^": empty caption
      {"LOG", "LOG", "", LaunchAction::StayHidden},
      {"^caption only", "", "caption only", LaunchAction::StayHidden},
      {"CONFIG^", "CONFIG", "", LaunchAction::OpenMainWindow},
  };
  for (const Row& r : rows) {
    const LaunchRequest req = parseCommandLine(QString::fromUtf8(r.line));
    EXPECT_EQ(req.command, QString::fromUtf8(r.command)) << r.line;
    EXPECT_EQ(req.caption, QString::fromUtf8(r.caption)) << r.line;
    EXPECT_EQ(actionFor(req.command), r.action) << r.line;
  }
}

TEST(CommandLine, ArgumentsAreJoinedSoCaptionsKeepTheirSpaces) {
  EXPECT_EQ(commandLineFromArguments({"/opt/corvane"}), "");
  EXPECT_EQ(commandLineFromArguments({"corvane", "CONFIG^Corvane", "Backup", "-", "Status:", "Active"}),
            "CONFIG^Corvane Backup - Status: Active");
  EXPECT_EQ(parseCommandLine(commandLineFromArguments({"corvane", "CONFIG^Corvane", "Backup"})).caption,
            "Corvane Backup");
  EXPECT_EQ(commandLineFromArguments({"corvane", "-style=fusion", "CONFIG^x"}), "-style=fusion CONFIG^x");
}
