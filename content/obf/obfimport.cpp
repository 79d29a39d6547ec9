#include "content/obf/obfimport.h"

#include "content/contentrules.h"
#include "content/obf/obfplan.h"
#include "content/obf/obfsource.h"
#include "platform/files.h"
#include "superlibraries/tqstandard/tqlanguage.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Removes a folder this import made, whatever is in it.
void RemoveQuietly(const std::string& folder)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
}

// "\"sh -c true\" when its picture is chosen (board \"b\", button \"Clock\")".
TBilingualText WhatItStarts(const TObfProgram& program)
{
    const std::wstring command = platform::FromUtf8(program.Command);
    TBilingualText text = command.empty()
        ? TBilingualText{ L"a program the board cannot read",
                          L"ett program som tavlan inte kan läsa" }
        : TBilingualText{ L"\"" + command + L"\"", L"\"" + command + L"\"" };
    if (program.WebBrowser) {
        text.English += L" for web addresses";
        text.Swedish += L" för webbadresser";
        return text;
    }
    const std::wstring board = platform::FromUtf8(program.Board);
    const std::wstring button = platform::FromUtf8(program.Button);
    text.English +=
        L" when its picture is chosen (board \"" + board + L"\", button \"" + button + L"\")";
    text.Swedish +=
        L" när dess bild väljs (tavlan \"" + board + L"\", knappen \"" + button + L"\")";
    return text;
}

}  // namespace

bool CTQObfImport::CheckTarget(const TObfImportOptions& options, std::string& error)
{
    const std::string target = platform::ToUtf8(options.Folder);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target, ec)))
        return true;
    if (!fs::is_directory(target, ec)) {
        error = target + ": is not a folder";
        return false;
    }
    if (!fs::is_empty(target, ec) && !options.Replace) {
        error = target + ": is not empty; give --replace to put the import in its place";
        return false;
    }
    return true;
}

// Puts the finished folder in the target's place: a missing or empty target is replaced by
// one rename; a full one is swapped with it in one step, so at every moment the target is
// either the old folder or the new one, and the old one is removed only afterwards.
bool CTQObfImport::PutInPlace(const std::string& built, const std::string& target,
                              std::string& error)
{
    if (::rename(built.c_str(), target.c_str()) == 0)
        return true;
    if (errno != ENOTEMPTY && errno != EEXIST) {
        error = target + ": cannot be put in place: " + std::strerror(errno);
        return false;
    }
    if (::renameat2(AT_FDCWD, built.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        RemoveQuietly(built);  // now the old folder
        return true;
    }
    // A file system without the exchange: the old folder steps aside first.
    const std::string aside = built + ".old";
    if (::rename(target.c_str(), aside.c_str()) != 0 ||
        ::rename(built.c_str(), target.c_str()) != 0) {
        error = target + ": cannot be put in place: " + std::strerror(errno);
        ::rename(aside.c_str(), target.c_str());
        return false;
    }
    RemoveQuietly(aside);
    return true;
}

TObfImportResult CTQObfImport::Run(const TObfImportOptions& options)
{
    TObfImportResult result;
    result.ExitCode = 2;
    const std::string file = platform::ToUtf8(options.File);
    if (!CheckTarget(options, result.Error))
        return result;

    CTQObfSource source;
    source.SetFetcher(options.Fetch);
    std::string error;
    if (!source.Open(options.File, error)) {
        result.Error = file + ": " + error;
        return result;
    }
    CTQObfPlan plan(source, options.MaxPages, CTQContentRules::MaxLevels,
                    CTQContentRules::MaxPicturesOnPage);
    if (!plan.Make(error)) {
        result.Error = file + ": " + error;
        return result;
    }

    // Built beside the target, on the same file system, so that it can be renamed into place.
    const fs::path target = fs::absolute(platform::ToUtf8(options.Folder)).lexically_normal();
    const fs::path parent =
        target.has_filename() ? target.parent_path() : target.parent_path().parent_path();
    const std::string name =
        (target.has_filename() ? target : target.parent_path()).filename().string();
    // Folders on the way that this import makes go again if it fails.
    fs::path made;
    std::error_code ec;
    for (fs::path folder = parent; !folder.empty() && !fs::exists(folder, ec);
         folder = folder.parent_path())
        made = folder;
    fs::create_directories(parent, ec);
    std::string pattern = (parent / ("." + name + ".import-XXXXXX")).string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) {
        if (!made.empty())
            RemoveQuietly(made.string());
        result.Error = parent.string() + ": cannot write there";
        return result;
    }
    ::chmod(pattern.c_str(), 0755);

    CTQObfFolderWriter writer(source, plan.Pages(), options.Write);
    if (!writer.Write(platform::FromUtf8(pattern), error) ||
        !PutInPlace(pattern, (parent / name).string(), error)) {
        RemoveQuietly(made.empty() ? pattern : made.string());
        result.Error = file + ": " + error;
        return result;
    }

    result.Pages = int(plan.Pages().size());
    result.Pictures = writer.GetPictureCount();
    result.Spoken = writer.GetSpokenCount();
    // Damage is told once per board, whatever number of pages it became.
    std::vector<const TObfBoard*> boards;
    for (const TObfPlannedPage& page : plan.Pages()) {
        if (std::find(boards.begin(), boards.end(), page.Board) != boards.end())
            continue;
        boards.push_back(page.Board);
        for (const std::string& damage : page.Board->Damage)
            result.Notes.push_back("damaged: " + CTQObfPlan::Describe(*page.Board) + ": " + damage);
    }
    for (const std::string& path : source.BoardsNotIn(boards))
        result.Notes.push_back("left out: the board " + path.substr(0, 80) +
                               ": no button leads to it from the first board");
    result.Notes.insert(result.Notes.end(), plan.Notes().begin(), plan.Notes().end());
    result.Notes.insert(result.Notes.end(), writer.GetNotes().begin(), writer.GetNotes().end());
    result.KeptPrograms = writer.GetKeptPrograms();
    result.LeftOutPrograms = writer.GetLeftOutPrograms();
    result.Silent = writer.GetSilent();
    result.ExitCode = result.Silent.empty() ? 0 : 1;
    return result;
}

void CTQObfImport::Print(const TObfImportOptions& options, const TObfImportResult& result,
                         bool swedish, std::FILE* out)
{
    if (result.ExitCode == 2) {
        std::fprintf(out, "orlido: %s\n", result.Error.c_str());
        return;
    }
    const auto say = [&](const TBilingualText& text) {
        std::fprintf(out, "%s\n", platform::ToUtf8(text.In(swedish)).c_str());
    };
    const std::wstring where = options.File + L" ", into = L" " + options.Folder + L": ";
    const std::wstring pages = std::to_wstring(result.Pages),
                       pictures = std::to_wstring(result.Pictures),
                       spoken = std::to_wstring(result.Spoken);
    say({ L"Imported " + where + L"into" + into + pages + L" pages, " + pictures + L" pictures, " +
              spoken + L" sounds made by speech.",
          L"Importerade " + where + L"till" + into + pages + L" sidor, " + pictures + L" bilder, " +
              spoken + L" ljud gjorda med talsyntes." });
    for (const std::string& note : result.Notes)
        std::fprintf(out, "%s\n", note.c_str());
    for (const TObfProgram& program : result.KeptPrograms) {
        const std::wstring file = platform::FromUtf8(program.File);
        const TBilingualText starts = WhatItStarts(program);
        say({ L"program: " + file + L" starts " + starts.English + L": make sure you want that",
              L"program: " + file + L" startar " + starts.Swedish + L": se till att du vill det" });
    }
    for (const TObfProgram& program : result.LeftOutPrograms) {
        const std::wstring file = platform::FromUtf8(program.File);
        const TBilingualText starts = WhatItStarts(program);
        say({ L"left out: " + file + L", which would start " + starts.English,
              L"utelämnad: " + file + L", som skulle starta " + starts.Swedish });
    }
    if (const std::wstring count = std::to_wstring(result.LeftOutPrograms.size());
        !result.LeftOutPrograms.empty())
        say({ count +
                  L" shortcuts to programs were left out; import again with --keep-programs to "
                  L"keep them, but only "
                  L"from a package you trust.",
              count +
                  L" genvägar till program utelämnades; importera igen med --keep-programs för att "
                  L"behålla dem, men "
                  L"bara från ett paket du litar på." });
    for (const std::string& silent : result.Silent) {
        const std::wstring what = platform::FromUtf8(silent);
        say({ L"no sound: " + what, L"inget ljud: " + what });
    }
    if (const std::wstring count = std::to_wstring(result.Silent.size()); !result.Silent.empty())
        say({ count + L" pictures or common sounds have no sound; orlido --speak can make them.",
              count + L" bilder eller gemensamma ljud saknar ljud; orlido --speak kan göra dem." });
}
