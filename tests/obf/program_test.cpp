// The real program's --export, --import and --check one after the other, without a display:
// the demo exported and imported again is the demo, another program's board is spoken with
// espeak-ng, and the checker finds no problem in either;
// a broken file gives one line, exit code 2 and nothing written.
#include "tests/foundation/program_run.h"
#include "tests/obf/obf_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ObfProgram, TheDemoExportedAndImportedIsTheDemoAndPassesTheChecker)
{
    TempFolder folder;
    const std::filesystem::path demo = std::filesystem::path(ORLIDO_SOURCE_DIR) / "demo";
    const TProgramRun exported =
        RunOrlido("--export " + Quoted(demo) + " " + Quoted(folder.Root / "demo.obz"));
    ASSERT_EQ(exported.ExitCode, 0) << exported.Output;
    const TProgramRun imported =
        RunOrlido("--import --keep-programs " + Quoted(folder.Root / "demo.obz") + " " +
                  Quoted(folder.Root / "board"));
    ASSERT_EQ(imported.ExitCode, 0) << imported.Output;
    EXPECT_NE(imported.Output.find("5 pages, 24 pictures"), std::string::npos) << imported.Output;
    EXPECT_EQ(obftest::Tree(folder.Root / "board" / "UserData"), obftest::Tree(demo / "UserData"));
    // Checked from the demo's folder, as the board would be started: the demo's web page is
    // named from there and stays behind.
    const TProgramRun check = RunOrlido("--check " + Quoted(folder.Root / "board"), demo.string());
    EXPECT_EQ(check.ExitCode, 0) << check.Output;
    EXPECT_NE(check.Output.find("5 pages, 24 pictures, 0 problems"), std::string::npos)
        << check.Output;
}

TEST(ObfProgram, AnotherProgramsBoardIsSpokenAndPassesTheChecker)
{
    TempFolder folder;
    folder.Write(
        "board.obf",
        R"({"format":"open-board-0.1","id":"b","locale":"en-US","buttons":[{"id":"1","label":"Apple"},)"
        R"({"id":"2","label":"Go","url":"https://example.org"},{"id":"3","label":"Clear","action":":clear"}],)"
        R"("grid":{"rows":1,"columns":3,"order":[["1","2","3"]]}})");
    const TProgramRun imported = RunOrlido("--import " + Quoted(folder.Root / "board.obf") + " " +
                                           Quoted(folder.Root / "board"));
    ASSERT_EQ(imported.ExitCode, 0) << imported.Output;
    EXPECT_NE(imported.Output.find("1 pages, 3 pictures, 7 sounds made by speech"),
              std::string::npos)
        << imported.Output;
    const TProgramRun check =
        RunOrlido("--check " + Quoted(folder.Root / "board"), folder.Root.string());
    EXPECT_EQ(check.ExitCode, 0) << check.Output;
    EXPECT_NE(check.Output.find("1 page, 3 pictures, 0 problems"), std::string::npos)
        << check.Output;
}

TEST(ObfProgram, ABrokenFileGivesOneLineAndWritesNothing)
{
    TempFolder folder;
    folder.Write("broken.obf", "{\"id\": ");
    const TProgramRun run = RunOrlido("--import " + Quoted(folder.Root / "broken.obf") + " " +
                                      Quoted(folder.Root / "board"));
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(
        run.Output.rfind("orlido: " + (folder.Root / "broken.obf").string() + ": not JSON: ", 0),
        0u)
        << run.Output;
    EXPECT_EQ(std::count(run.Output.begin(), run.Output.end(), '\n'), 1) << run.Output;
    EXPECT_FALSE(std::filesystem::exists(folder.Root / "board"));
}

}  // namespace
