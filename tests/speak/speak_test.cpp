// "orlido --speak" over a small content folder: a sound is made exactly where a picture or
// a common sound has none, from the caption, else from the file name's words; nothing that
// is there is touched, whatever its format or the case of its name; a picture with nothing
// to say is told and makes the exit code 1. The voice is a script that logs what it was
// given, so the test sees which text went into which file.
#include "application/orlido.h"
#include "application/orlidospeak.h"
#include "tests/foundation/temp_folder.h"
#include "tests/foundation/wav_bytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A short sound at 22.05 kHz: a 1 kHz tone of 50 ms.
std::string ToneWave()
{
    const int rate = 22050;
    const int count = rate / 20;
    std::string data;
    for (int i = 0; i < count; ++i)
        data += LittleEndian(static_cast<std::uint16_t>(i % 22 < 11 ? 8000 : -8000), 2);
    return PcmWav(rate, 1, 16, data);
}

struct TRun {
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

std::string Captured(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    std::fclose(file);
    return text;
}

std::vector<std::string> FilesUnder(const std::filesystem::path& root)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory())
            files.push_back(std::filesystem::relative(entry.path(), root).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class Speak : public ::testing::Test {
public:
    void SetUp() override
    {
        m_folder.Write("voice.wav", ToneWave());
        // The voice: logs the text it was given and writes the tone.
        m_folder.Write("voice",
                       "#!/bin/sh\ncat >> '" + (m_folder.Root / "spoken.log").string() +
                           "'\ncat '" + (m_folder.Root / "voice.wav").string() + "' > \"$1\"\n");
        ::chmod((m_folder.Root / "voice").c_str(), 0755);
    }

    std::string Content(const std::string& relative) const { return "content/" + relative; }
    void Put(const std::string& relative, const std::string& bytes)
    {
        m_folder.Write(Content(relative), bytes);
    }

    TRun Run()
    {
        COrlidoSpeak::TOptions options;
        options.Asked = true;
        options.Command = (m_folder.Root / "voice").string();
        COrlidoSpeak speak(m_folder.Path("content"), options, false);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        TRun run;
        run.ExitCode = speak.Run(out, err);
        run.Output = Captured(out);
        run.Errors = Captured(err);
        return run;
    }

    // The voice's log, one line of text per sound, and emptied.
    std::string Spoken()
    {
        const std::string log = m_folder.Read("spoken.log");
        std::filesystem::remove(m_folder.Root / "spoken.log");
        return log;
    }

    TempFolder m_folder;
};

}  // namespace

TEST_F(Speak, MakesSoundsOnlyWhereNoneIsAndTouchesNothingElse)
{
    // Common sounds: "Tillbaka" is there, "Nej" is there under another case.
    Put("Tillbaka.wav", "the carer's Tillbaka");
    Put("nej.WAV", "the carer's Nej");
    // The first page.
    Put("UserData/L00001/B00000 Noll.jpg", "jpeg");  // no picture the board counts
    Put("UserData/L00001/B00001 Mat.jpg", "jpeg");   // name's words
    Put("UserData/L00001/B00002 Dryck.jpg", "jpeg");
    Put("UserData/L00001/B00002.mp3", "the carer's mp3");  // a sound in another format
    Put("UserData/L00001/B00003 Glass_och_saft.png", "png");
    Put("UserData/L00001/B00003 Glass_och_saft.txt",
        "Vill du ha\r\nglass?\r\n");                          // the caption wins
    Put("UserData/L00001/B00004.jpg", "jpeg");                // nothing to say
    Put("UserData/L00001/B00005 Sm\xF6rg\xE5s.jpg", "jpeg");  // a name copied from Windows
    Put("UserData/L00001/B00006 Kaka.jpg", "jpeg");
    Put("UserData/L00001/b00006.WMA", "the carer's wma");
    Put("UserData/L00001/B00007 Bok.jpg", "jpeg");
    Put("UserData/L00001/B00007 Bok.txt", " \n");  // an empty caption: the name
    Put("UserData/L00001/B00007 Bok.txt.bak", "not a caption");
    // A sub-page, whose picture opens a link back to the first page: walked once.
    Put("UserData/L00001/L00001/B00001 Sova.jpg", "jpeg");
    std::filesystem::create_directory_symlink(
        "..", m_folder.Root / Content("UserData/L00001/L00001/L00001"));
    // Pages the board never opens: behind a gap, and behind a shortcut, which wins.
    Put("UserData/L00001/B00009 Efter luckan.jpg", "jpeg");
    Put("UserData/L00001/B00002.lnk", "[Desktop Entry]\nExec=true\n");
    Put("UserData/L00001/L00002/B00001 Aldrig.jpg", "jpeg");
    const std::vector<std::string> before = FilesUnder(m_folder.Root / "content");

    const TRun run = Run();
    EXPECT_EQ(run.ExitCode, 1) << "picture 4 has no sound and nothing to say\n" << run.Output;
    EXPECT_EQ(Spoken(), "Ja\nJag valde\nMat\nVill du ha glass?\nSmörgås\nBok\nSova\n");
    EXPECT_EQ(
        run.Output,
        "made: Ja.wav: \"Ja\"\n"
        "made: JagValde.wav: \"Jag valde\"\n"
        "made: UserData/L00001/B00001.wav: \"Mat\"\n"
        "made: UserData/L00001/B00003.wav: \"Vill du ha glass?\"\n"
        "not made: UserData/L00001/B00004.wav: B00004.jpg has no caption and no words after its "
        "number, so there is nothing to say. Record a sound, write a caption, or name the picture "
        "like \"B00004 Mat.jpg\".\n"
        "made: UserData/L00001/B00005.wav: \"Smörgås\"\n"
        "made: UserData/L00001/B00007.wav: \"Bok\"\n"
        "made: UserData/L00001/L00001/B00001.wav: \"Sova\"\n"
        "7 made, 1 not made.\n");
    EXPECT_EQ(run.Errors, "");

    // What was there is as it was; what is new is exactly the made sounds.
    EXPECT_EQ(m_folder.Read(Content("Tillbaka.wav")), "the carer's Tillbaka");
    EXPECT_EQ(m_folder.Read(Content("nej.WAV")), "the carer's Nej");
    EXPECT_EQ(m_folder.Read(Content("UserData/L00001/B00002.mp3")), "the carer's mp3");
    EXPECT_EQ(m_folder.Read(Content("UserData/L00001/b00006.WMA")), "the carer's wma");
    std::vector<std::string> expected = before;
    for (const char* made : { "Ja.wav", "JagValde.wav", "UserData/L00001/B00001.wav",
                              "UserData/L00001/B00003.wav", "UserData/L00001/B00005.wav",
                              "UserData/L00001/B00007.wav", "UserData/L00001/L00001/B00001.wav" })
        expected.push_back(made);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(m_folder.Root / "content"), expected);
    EXPECT_EQ(m_folder.Read(Content("UserData/L00001/B00001.wav")), ToneWave());

    // A second run finds every sound made and says only what it still cannot do.
    const TRun again = Run();
    EXPECT_EQ(Spoken(), "");
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_NE(again.Output.find("0 made, 1 not made."), std::string::npos) << again.Output;
}

TEST_F(Speak, AllMadeEndsWithZeroAndAFolderWithoutUserDataIsLeftAlone)
{
    Put("UserData/L00001/B00001 Mat.jpg", "jpeg");
    for (const char* common : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
        Put(common, "there");
    TRun run = Run();
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output, "made: UserData/L00001/B00001.wav: \"Mat\"\n1 made, 0 not made.\n");

    // A wrong folder (no UserData) gets no common sounds strewn into it.
    m_folder.MakeFolder("elsewhere");
    COrlidoSpeak::TOptions options;
    options.Asked = true;
    COrlidoSpeak speak(m_folder.Path("elsewhere"), options, false);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(speak.Run(out, err), 1);
    EXPECT_EQ(Captured(out), "");
    EXPECT_NE(Captured(err).find("holds no UserData folder"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder.Root / "elsewhere"));
}

TEST(SpeakText, WhatAPictureOrACommonSoundSays)
{
    const std::pair<const wchar_t*, const wchar_t*> pictures[] = {
        { L"B00001 Mat.jpg", L"Mat" },     { L"B00001  Glass_och_saft .png", L"Glass och saft" },
        { L"b00012 Gå ut.JPG", L"Gå ut" }, { L"B00001.jpg", L"" },
        { L"B00001 .jpg", L"" },           { L"B00001_.png", L"" },
    };
    for (const auto& [name, text] : pictures)
        EXPECT_EQ(COrlidoSpeak::TextOfPictureName(name), text) << name;
    EXPECT_EQ(COrlidoSpeak::TextOfCommonSound(L"JagValde.wav"), L"Jag valde");
    EXPECT_EQ(COrlidoSpeak::TextOfCommonSound(L"Tillbaka.wav"), L"Tillbaka");
}

TEST(SpeakOptions, CommandLine)
{
    struct TCase {
        std::vector<std::string> Arguments;
        bool Ok;
        const wchar_t* Folder;
        const char* Voice;
        const char* Command;
    };
    const TCase cases[] = {
        { { "--speak" }, true, L"/from/variable", "", "" },
        { { "--speak", "/to/speak" }, true, L"/to/speak", "", "" },
        { { "--speak", "--content", "/c", "--voice", "en-us" }, true, L"/c", "en-us", "" },
        { { "--voice=de", "--speak" }, true, L"/from/variable", "de", "" },
        { { "--speak", "/d", "--speak-command", "piper --model sv.onnx --output_file" },
          true,
          L"/d",
          "",
          "piper --model sv.onnx --output_file" },
        { { "--speak", "--voice" }, false, L"", "", "" },
        { { "--speak", "--speak-command=" }, false, L"", "", "" },
        { { "--voice", "sv" }, false, L"", "", "" },
        { { "--speak", "--voice", "sv", "--speak-command", "say" }, false, L"", "", "" },
        { { "--speak", "--check" }, false, L"", "", "" },
    };
    for (const TCase& c : cases) {
        std::string joined;
        for (const std::string& argument : c.Arguments)
            joined += argument + " ";
        SCOPED_TRACE(joined);
        std::wstring folder;
        bool help = false;
        bool check = false;
        COrlidoSpeak::TOptions speak;
        std::string error;
        const bool ok = COrlidoApp::ParseCommandLine(c.Arguments, "/from/variable", folder, help,
                                                     check, speak, error);
        EXPECT_EQ(ok, c.Ok) << error;
        if (!ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_TRUE(speak.Asked);
        EXPECT_EQ(folder, c.Folder);
        EXPECT_EQ(speak.Voice, c.Voice);
        EXPECT_EQ(speak.Command, c.Command);
    }
}
