#include "estimator/diagnostics/DiagnosticsLabels.h"

#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/HistoryReader.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/PointEstimates.h"

namespace ombrel {

namespace {

// "<i> <k> " at the start of line: the two numbers and where the label begins.
bool LevelLinePrefix(const std::string& line, int& attribute, int& level, size_t& labelStart) {
    const char* end = line.data() + line.size();
    const auto first = std::from_chars(line.data(), end, attribute);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ' ') return false;
    const auto second = std::from_chars(first.ptr + 1, end, level);
    if (second.ec != std::errc() || second.ptr == end || *second.ptr != ' ') return false;
    labelStart = static_cast<size_t>(second.ptr + 1 - line.data());
    return true;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::optional<AttributeModel> ReadModel(const std::string& labelFile) {
    if (!IsRegularFile(labelFile)) return std::nullopt;
    std::unique_ptr<TextSource> text = OpenDiagnosticsInput(labelFile, "attribute label file");
    AttributeModel model;
    ReadAttributeLabels(*text, model);
    return model;
}

std::vector<std::string> LevelLabels(const LabelSources& sources, const std::optional<AttributeModel>& model,
                                     int levelCount) {
    std::vector<std::string> labels;
    std::string source = sources.layoutFile;
    if (IsRegularFile(sources.layoutFile)) {
        std::unique_ptr<TextSource> text = OpenDiagnosticsInput(sources.layoutFile, "layout file");
        labels = LayoutLabels(*text);
        if (text->Failed()) throw OmbrelError(Format("%s could not be read to its end.", source.c_str()));
    } else if (model) {
        MemoryTextSource text(LayoutText(*model));
        labels = LayoutLabels(text);
        source = sources.labelFile;
    } else {
        throw OmbrelError(
            Format("Neither the layout file %s nor the attribute label file %s is there to "
                   "label the levels.",
                   sources.layoutFile.c_str(), sources.labelFile.c_str()));
    }
    if (static_cast<int>(labels.size()) != levelCount) {
        throw OmbrelError(Format("%s gives %zu level labels where the histories hold %d values a line.",
                                 source.c_str(), labels.size(), levelCount));
    }
    return labels;
}

}  // namespace

std::vector<std::string> LayoutLabels(TextSource& layout) {
    std::vector<std::string> labels;
    std::string line;
    int lastAttribute = 0;
    int lastLevel = 0;
    bool levelLines = true;
    while (layout.ReadLine(line)) {
        int attribute = 0;
        int level = 0;
        size_t labelStart = 0;
        if (levelLines && LevelLinePrefix(line, attribute, level, labelStart)) {
            const bool next = (attribute == lastAttribute && level == lastLevel + 1) ||
                              (attribute > lastAttribute && level == 1);
            if (next) {
                labels.push_back(line.substr(labelStart));
                lastAttribute = attribute;
                lastLevel = level;
                continue;
            }
        }
        levelLines = false;
        labels.push_back(line);
    }
    return labels;
}

std::vector<int> ParameterLevels(const LevelExpansion& expansion) {
    const int p = expansion.ParameterCount();
    std::vector<double> unit(static_cast<size_t>(p), 0.0);
    std::vector<double> expanded(static_cast<size_t>(expansion.LevelCount()));
    std::vector<int> levels(static_cast<size_t>(p), -1);
    for (int j = 0; j < p; ++j) {
        unit[static_cast<size_t>(j)] = 1.0;
        expansion.Expand(unit.data(), expanded.data());
        unit[static_cast<size_t>(j)] = 0.0;
        for (size_t k = 0; k < expanded.size(); ++k) {
            if (expanded[k] == 1.0) {
                levels[static_cast<size_t>(j)] = static_cast<int>(k);
                break;
            }
        }
    }
    return levels;
}

QuantityLabels ReadQuantityLabels(const LabelSources& sources, int levelCount, int parameterCount) {
    const std::optional<AttributeModel> model = ReadModel(sources.labelFile);
    QuantityLabels labels;
    labels.levels = LevelLabels(sources, model, levelCount);
    std::vector<int> levelOfParameter;
    if (model) {
        const LevelExpansion expansion(*model, sources.effectsCoding);
        if (expansion.ParameterCount() == parameterCount && expansion.LevelCount() == levelCount) {
            levelOfParameter = ParameterLevels(expansion);
        }
    }
    for (int j = 0; j < parameterCount; ++j) {
        const int level = levelOfParameter.empty() ? -1 : levelOfParameter[static_cast<size_t>(j)];
        labels.parameters.push_back(level >= 0 ? labels.levels[static_cast<size_t>(level)]
                                               : "parameter " + std::to_string(j + 1));
    }
    return labels;
}

}  // namespace ombrel
