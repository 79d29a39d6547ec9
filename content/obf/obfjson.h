// Open Board Format JSON: a board (.obf) or a package's manifest.json read into the records
// of obfboard.h, and written back from them. Reading checks the nesting depth before the
// parser sees the text, so a hostile file cannot exhaust the stack; a board whose buttons are
// partly damaged is read around the damage, which is listed in the board.
#pragma once

#include "content/obf/obfboard.h"

#include <string>
#include <string_view>

class CTQObfJson {
public:
    // False with a one-line reason ("not JSON: ...", "not a board: ...") when the text is no
    // board at all.
    static bool ReadBoard(std::string_view text, TObfBoard& board, std::string& error);
    static bool ReadManifest(std::string_view text, TObfManifest& manifest, std::string& error);

    // The deepest nesting of arrays and objects, strings skipped; stops counting once past
    // limit and returns limit + 1.
    static int NestingDepth(std::string_view text, int limit);

    // Boards and manifests as this program exports them (format "open-board-0.1"): the grid
    // holds board.Shown row by row in board.Rows x board.Columns cells.
    static std::string WriteBoard(const TObfBoard& board);
    static std::string WriteManifest(const TObfManifest& manifest);
};
