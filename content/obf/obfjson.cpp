#include "content/obf/obfjson.h"

#include <nlohmann/json.hpp>

#include <set>

namespace {

using Json = nlohmann::json;

constexpr const char* kFormat = "open-board-0.1";
constexpr const char* kExtension = "ext_orlido_";

// A field as text: strings as they are, numbers written out (ids are often numbers), anything
// else empty.
std::string Text(const Json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end())
        return {};
    if (found->is_string())
        return found->get<std::string>();
    if (found->is_number_integer() || found->is_number_unsigned() || found->is_number_float())
        return found->dump();
    return {};
}

// Cuts UTF-8 text to at most bytes, never inside a character.
std::string Cut(std::string text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

int Integer(const Json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number())
        return 0;
    const double value = found->get<double>();
    return value >= 0 && value <= 1e9 ? int(value) : 0;
}

bool Flag(const Json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_boolean() && found->get<bool>();
}

// Parses without letting an exception leave this file; the parser's own message (with its
// line and column) becomes the reason.
bool Parse(std::string_view text, Json& json, std::string& error)
{
    if (text.size() > TObfLimits::MaxJsonBytes) {
        error = "not read: larger than " +
            std::to_string(TObfLimits::MaxJsonBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    if (CTQObfJson::NestingDepth(text, TObfLimits::MaxJsonDepth) > TObfLimits::MaxJsonDepth) {
        error =
            "not read: nested deeper than " + std::to_string(TObfLimits::MaxJsonDepth) + " levels";
        return false;
    }
    try {
        json = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        std::string what = e.what();
        const std::size_t bracket = what.find("] ");
        if (bracket != std::string::npos)
            what = what.substr(bracket + 2);
        error = "not JSON: " + what;
        return false;
    }
    return true;
}

TObfMedia ReadMedia(const Json& item)
{
    TObfMedia media;
    media.Id = Text(item, "id");
    media.Data = Text(item, "data");
    media.Path = Text(item, "path");
    media.Url = Text(item, "url");
    media.ContentType = Text(item, "content_type");
    media.Width = Integer(item, "width");
    media.Height = Integer(item, "height");
    media.HasSymbol = item.contains("symbol") && item["symbol"].is_object();
    return media;
}

void ReadMediaList(const Json& board, const char* key, std::map<std::string, TObfMedia>& into,
                   std::vector<std::string>& damage)
{
    const auto list = board.find(key);
    if (list == board.end() || !list->is_array())
        return;
    for (const Json& item : *list) {
        if (!item.is_object() || Text(item, "id").empty()) {
            damage.push_back(std::string("an entry of ") + key + " has no id");
            continue;
        }
        TObfMedia media = ReadMedia(item);
        into.emplace(media.Id, std::move(media));
    }
}

std::optional<TObfLink> ReadLink(const Json& button)
{
    const auto found = button.find("load_board");
    if (found == button.end() || !found->is_object())
        return std::nullopt;
    TObfLink link;
    link.Id = Text(*found, "id");
    link.Path = Text(*found, "path");
    link.Url = Text(*found, "url");
    link.DataUrl = Text(*found, "data_url");
    return link;
}

bool ReadButton(const Json& item, TObfButton& button)
{
    if (!item.is_object())
        return false;
    button.Id = Text(item, "id");
    if (button.Id.empty())
        return false;
    button.Label = Cut(Text(item, "label"), TObfLimits::MaxLabelBytes);
    button.Vocalization = Cut(Text(item, "vocalization"), TObfLimits::MaxLabelBytes);
    button.ImageId = Text(item, "image_id");
    button.SoundId = Text(item, "sound_id");
    button.BackgroundColor = Text(item, "background_color");
    button.Hidden = Flag(item, "hidden");
    if (!Text(item, "action").empty())
        button.Actions.push_back(Text(item, "action"));
    if (const auto actions = item.find("actions"); actions != item.end() && actions->is_array()) {
        for (const Json& action : *actions) {
            if (action.is_string() && button.Actions.size() < 16)
                button.Actions.push_back(action.get<std::string>());
        }
    }
    button.LoadBoard = ReadLink(item);
    button.Url = Text(item, "url");
    const std::string ext = kExtension;
    button.ShortcutPath = Text(item, (ext + "shortcut").c_str());
    button.MediaPath = Text(item, (ext + "media").c_str());
    button.WebAddressPath = Text(item, (ext + "web_address").c_str());
    button.CaptionPath = Text(item, (ext + "caption").c_str());
    if (const auto name = item.find(ext + "name"); name != item.end() && name->is_string())
        button.NameText = Cut(name->get<std::string>(), TObfLimits::MaxLabelBytes);
    return true;
}

void ReadButtons(const Json& json, TObfBoard& board)
{
    const Json& buttons = *json.find("buttons");
    std::vector<const Json*> items;
    if (buttons.is_array()) {
        for (const Json& item : buttons)
            items.push_back(&item);
    } else {
        // The form keyed by id.
        for (const auto& [key, item] : buttons.items())
            items.push_back(&item);
    }
    if (items.size() > TObfLimits::MaxButtons) {
        board.Damage.push_back("the board has " + std::to_string(items.size()) +
                               " buttons; only the first " +
                               std::to_string(TObfLimits::MaxButtons) + " are read");
        items.resize(TObfLimits::MaxButtons);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        TObfButton button;
        if (ReadButton(*items[i], button))
            board.Buttons.push_back(std::move(button));
        else
            board.Damage.push_back("button " + std::to_string(i + 1) +
                                   " is not a button with an id");
    }
}

void ReadGrid(const Json& json, TObfBoard& board, std::vector<std::string>& order)
{
    const auto grid = json.find("grid");
    if (grid == json.end() || !grid->is_object()) {
        board.Damage.push_back(
            "the board has no grid; its buttons are taken in the order they are listed");
        return;
    }
    board.Rows = Integer(*grid, "rows");
    board.Columns = Integer(*grid, "columns");
    if (board.Rows > TObfLimits::MaxGridSide || board.Columns > TObfLimits::MaxGridSide) {
        board.Damage.push_back("the grid has more than " + std::to_string(TObfLimits::MaxGridSide) +
                               " rows or columns; only that many are read");
    }
    const auto rows = grid->find("order");
    if (rows == grid->end() || !rows->is_array())
        return;
    int rowCount = 0;
    for (const Json& row : *rows) {
        if (++rowCount > TObfLimits::MaxGridSide)
            break;
        if (!row.is_array())
            continue;
        int columnCount = 0;
        for (const Json& cell : row) {
            if (++columnCount > TObfLimits::MaxGridSide)
                break;
            if (cell.is_string())
                order.push_back(cell.get<std::string>());
            else if (cell.is_number())
                order.push_back(cell.dump());
        }
    }
}

// The buttons in the order the board shows them: the grid's cells row by row (each button
// once), then those the grid leaves out; hidden ones left out.
void OrderButtons(const std::vector<std::string>& order, TObfBoard& board)
{
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < board.Buttons.size(); ++i)
        byId.emplace(board.Buttons[i].Id, i);
    std::set<std::size_t> taken;
    std::set<std::string> unknown;
    for (const std::string& id : order) {
        const auto found = byId.find(id);
        if (found == byId.end()) {
            if (unknown.insert(id).second)
                board.Damage.push_back("the grid names button " + id + ", which is not there");
            continue;
        }
        if (taken.insert(found->second).second && !board.Buttons[found->second].Hidden)
            board.Shown.push_back(found->second);
    }
    for (std::size_t i = 0; i < board.Buttons.size(); ++i) {
        if (!taken.count(i) && !board.Buttons[i].Hidden)
            board.Shown.push_back(i);
    }
}

void ReadStrings(const Json& json, TObfBoard& board)
{
    const auto strings = json.find("strings");
    if (strings == json.end() || !strings->is_object())
        return;
    for (const auto& [locale, table] : strings->items()) {
        if (!table.is_object())
            continue;
        auto& into = board.Strings[locale];
        for (const auto& [from, to] : table.items()) {
            if (to.is_string())
                into[from] = Cut(to.get<std::string>(), TObfLimits::MaxLabelBytes);
        }
    }
}

Json MediaJson(const TObfMedia& media, bool image)
{
    Json item = { { "id", media.Id },
                  { "path", media.Path },
                  { "content_type", media.ContentType } };
    if (image) {
        item["width"] = media.Width;
        item["height"] = media.Height;
    }
    return item;
}

}  // namespace

int CTQObfJson::NestingDepth(std::string_view text, int limit)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit)
                return limit + 1;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

bool CTQObfJson::ReadBoard(std::string_view text, TObfBoard& board, std::string& error)
{
    board = TObfBoard{};
    Json json;
    if (!Parse(text, json, error))
        return false;
    if (!json.is_object()) {
        error = "not a board: the JSON is no object";
        return false;
    }
    if (const std::string format = Text(json, "format");
        !format.empty() && format.rfind("open-board-", 0) != 0) {
        error = "not a board: its format is \"" + Cut(format, 60) + "\"";
        return false;
    }
    const auto buttons = json.find("buttons");
    if (buttons == json.end() || !(buttons->is_array() || buttons->is_object())) {
        error = "not a board: it has no buttons";
        return false;
    }
    board.Id = Text(json, "id");
    board.Name = Cut(Text(json, "name"), TObfLimits::MaxLabelBytes);
    board.Locale = Cut(Text(json, "locale"), 40);
    ReadButtons(json, board);
    std::vector<std::string> order;
    ReadGrid(json, board, order);
    OrderButtons(order, board);
    ReadMediaList(json, "images", board.Images, board.Damage);
    ReadMediaList(json, "sounds", board.Sounds, board.Damage);
    ReadStrings(json, board);
    return true;
}

bool CTQObfJson::ReadManifest(std::string_view text, TObfManifest& manifest, std::string& error)
{
    manifest = TObfManifest{};
    Json json;
    if (!Parse(text, json, error))
        return false;
    if (!json.is_object()) {
        error = "not a manifest: the JSON is no object";
        return false;
    }
    manifest.Root = Text(json, "root");
    if (manifest.Root.empty()) {
        error = "the manifest names no root board";
        return false;
    }
    const auto paths = json.find("paths");
    if (paths != json.end() && paths->is_object()) {
        if (const auto boards = paths->find("boards");
            boards != paths->end() && boards->is_object()) {
            for (const auto& [id, path] : boards->items()) {
                if (path.is_string())
                    manifest.Boards[id] = path.get<std::string>();
            }
        }
    }
    if (const auto common = json.find(std::string(kExtension) + "common");
        common != json.end() && common->is_object()) {
        for (const auto& [name, path] : common->items()) {
            if (path.is_string())
                manifest.CommonFiles[name] = path.get<std::string>();
        }
    }
    return true;
}

std::string CTQObfJson::WriteBoard(const TObfBoard& board)
{
    Json buttons = Json::array();
    for (const TObfButton& button : board.Buttons) {
        Json item = { { "id", button.Id }, { "label", button.Label } };
        if (!button.ImageId.empty())
            item["image_id"] = button.ImageId;
        if (!button.SoundId.empty())
            item["sound_id"] = button.SoundId;
        if (button.LoadBoard)
            item["load_board"] = { { "id", button.LoadBoard->Id },
                                   { "path", button.LoadBoard->Path } };
        if (!button.Url.empty())
            item["url"] = button.Url;
        const std::string ext = kExtension;
        const std::pair<const char*, const std::string*> paths[] = {
            { "shortcut", &button.ShortcutPath },
            { "media", &button.MediaPath },
            { "web_address", &button.WebAddressPath },
            { "caption", &button.CaptionPath }
        };
        for (const auto& [name, path] : paths) {
            if (!path->empty())
                item[ext + name] = *path;
        }
        if (button.NameText)
            item[ext + "name"] = *button.NameText;
        buttons.push_back(std::move(item));
    }
    Json order = Json::array();
    for (int row = 0; row < board.Rows; ++row) {
        Json cells = Json::array();
        for (int column = 0; column < board.Columns; ++column) {
            const std::size_t cell =
                std::size_t(row) * std::size_t(board.Columns) + std::size_t(column);
            if (cell < board.Shown.size())
                cells.push_back(board.Buttons[board.Shown[cell]].Id);
            else
                cells.push_back(nullptr);
        }
        order.push_back(std::move(cells));
    }
    Json images = Json::array();
    for (const auto& [id, image] : board.Images)
        images.push_back(MediaJson(image, true));
    Json sounds = Json::array();
    for (const auto& [id, sound] : board.Sounds)
        sounds.push_back(MediaJson(sound, false));
    const Json json = {
        { "format", kFormat },
        { "id", board.Id },
        { "locale", board.Locale },
        { "name", board.Name },
        { "buttons", std::move(buttons) },
        { "grid",
          { { "rows", board.Rows }, { "columns", board.Columns }, { "order", std::move(order) } } },
        { "images", std::move(images) },
        { "sounds", std::move(sounds) }
    };
    // Names that are not UTF-8 (from a folder copied from Windows) are written replaced
    // rather than refused.
    return json.dump(1, ' ', false, Json::error_handler_t::replace);
}

std::string CTQObfJson::WriteManifest(const TObfManifest& manifest)
{
    Json boards = Json::object();
    for (const auto& [id, path] : manifest.Boards)
        boards[id] = path;
    Json json = { { "format", kFormat },
                  { "root", manifest.Root },
                  { "paths", { { "boards", std::move(boards) } } } };
    if (!manifest.CommonFiles.empty())
        json[std::string(kExtension) + "common"] = manifest.CommonFiles;
    return json.dump(1, ' ', false, Json::error_handler_t::replace);
}
