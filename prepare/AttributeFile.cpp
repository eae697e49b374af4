// The attribute file (study name + ".att"), text read line by line, LF or CR LF. Every line is
// trimmed before it is looked at; an empty line is blank.
//
//   Brand A            level 1 of attribute 1
//   <blank>            one blank line ends a level text
//   Brand              level 2: the lines of one text join with single blanks ("Brand B")
//   B
//   <blank><blank>     two blank lines in a row end the attribute
//   Low price          level 1 of attribute 2
//   <blank><blank><blank>   three end the reading, as does the end of the file
//
// A line ":" discards the lines of the current text read so far; a text that ends up empty is
// stored as ":". A line whose first raw character is "/" is a marker: "/+" and "/-" lines are
// skipped, any other marker ends the reading. A stored text keeps its first 255 characters.
// Limits: 9 lines per level text, 999 levels per attribute, 999 attributes (a thousandth one only
// when the reading ends inside it).

#include "prepare/AttributeFile.h"

#include <memory>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {

constexpr int kMaxLinesPerLevel = 9;
constexpr size_t kMaxLevelsPerAttribute = 999;
constexpr size_t kMaxAttributes = 999;
// A line is kept only this far (after its leading blanks): more can never reach a stored text,
// and a file with one enormous line must not exhaust memory.
constexpr size_t kKeptLineLength = 1024;
static_assert(kKeptLineLength > kMaxLevelTextLength);

constexpr const char* kTooManyLines =
    "The text for a level in the <studyname>.att file has too many lines.  Please check the file.";
constexpr const char* kTooManyLevels =
    "There are too many levels for an attribute in the <studyname>.att file.  Please check the file.";
constexpr const char* kTooManyAttributes =
    "There are too many attributes in the <studyname>.att file.  Please check the file.";

// One physical line as the reader needs it: its first two raw characters (for the marker test, made
// before trimming; kEnd when the line is shorter) and its trimmed text, cut at kKeptLineLength.
struct AttributeLine {
    int first = TextSource::kEnd;
    int second = TextSource::kEnd;
    std::string text;
};

bool ReadAttributeLine(TextSource& source, AttributeLine& line) {
    line.first = TextSource::kEnd;
    line.second = TextSource::kEnd;
    line.text.clear();
    bool readAny = false;
    bool contentBeyondKept = false;
    size_t position = 0;
    int c = 0;
    while ((c = source.Get()) != TextSource::kEnd) {
        readAny = true;
        if (c == '\n') break;
        if (position == 0) line.first = c;
        if (position == 1) line.second = c;
        ++position;
        char ch = static_cast<char>(c);
        if (line.text.empty() && IsBlank(ch)) continue;
        if (line.text.size() < kKeptLineLength) {
            line.text.push_back(ch);
        } else if (!IsBlank(ch)) {
            contentBeyondKept = true;
        }
    }
    // Blanks at the end of the kept part are inside the line when more text follows them.
    if (!contentBeyondKept) {
        while (!line.text.empty() && IsBlank(line.text.back())) line.text.pop_back();
    }
    return readAny;
}

}  // namespace

void ReadAttributeFile(const StudyFiles& files, LevelTexts& levelTexts) {
    levelTexts.clear();
    const std::string path = files.Attributes();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (text) ReadAttributeFile(*text, path, levelTexts);
}

void ReadAttributeFile(TextSource& source, const std::string& path, LevelTexts& levelTexts) {
    levelTexts.clear();
    std::vector<std::string> levels;  // of the attribute being read
    std::string text;                 // the level text being read, at most kMaxLevelTextLength
    bool inText = false;
    int linesInText = 0;
    int blankRun = 0;
    bool started = false;

    auto storeText = [&]() {
        levels.push_back(text.empty() ? std::string(":") : text);
        text.clear();
        inText = false;
        linesInText = 0;
        if (levels.size() > kMaxLevelsPerAttribute) throw OmbrelError(kTooManyLevels);
    };
    auto endAttribute = [&]() {
        if (levels.empty()) return;
        levelTexts.push_back(std::move(levels));
        levels.clear();
    };

    AttributeLine line;
    while (ReadAttributeLine(source, line)) {
        if (line.first == '/') {
            if (line.second == '+' || line.second == '-') continue;
            break;
        }
        if (line.text.empty()) {
            // Before the first text there is no level and no attribute for a blank line to end.
            if (!started) {
                throw OmbrelError(
                    Format("The %s file begins with a blank line.  Please check the file.", path.c_str()));
            }
            ++blankRun;
            if (inText) storeText();
            if (blankRun == 2) {
                endAttribute();
                if (levelTexts.size() > kMaxAttributes) throw OmbrelError(kTooManyAttributes);
            } else if (blankRun == 3) {
                break;
            }
            continue;
        }

        started = true;
        blankRun = 0;
        inText = true;
        if (line.text == ":") {
            text.clear();
            linesInText = 0;
            continue;
        }
        if (++linesInText > kMaxLinesPerLevel) throw OmbrelError(kTooManyLines);
        if (text.size() < kMaxLevelTextLength) {
            if (!text.empty()) text += ' ';
            text += line.text;
            if (text.size() > kMaxLevelTextLength) text.resize(kMaxLevelTextLength);
        }
    }
    if (source.Failed()) throw OmbrelError(Format("The %s file could not be read.", path.c_str()));

    // The end of the reading ends the current level text and attribute.
    if (inText) storeText();
    endAttribute();
}

}  // namespace ombrel
