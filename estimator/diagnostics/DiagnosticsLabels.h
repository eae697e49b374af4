#pragma once

#include <string>
#include <vector>

#include "common/TextSource.h"
#include "estimator/chain/LevelExpansion.h"

namespace ombrel {

// The labels of the diagnostics' rows.
struct QuantityLabels {
    std::vector<std::string> levels;      // per expanded level: the alpha rows
    std::vector<std::string> parameters;  // per parameter: the variance rows
};

// One label per line of layout text (estimator/files/PointEstimates.h): the text after the attribute
// and level numbers of a level line, an interaction line or "NONE" whole. Level lines come first, in
// attribute order with levels counted from 1; the first line out of that order starts the lines
// taken whole, so an interaction of labels that begin with numbers keeps them.
std::vector<std::string> LayoutLabels(TextSource& layout);

// Per parameter, the expanded level it codes: the first level that its unit vector expands to 1 (the
// omitted levels, which it also reaches, come after it); -1 when there is none.
std::vector<int> ParameterLevels(const LevelExpansion& expansion);

// Where the labels come from: the run's layout file, else the layout of the prepared label file.
struct LabelSources {
    std::string layoutFile;     // ".lay"; may be missing
    std::string labelFile;      // "qebatt.tmp"; may be missing
    bool effectsCoding = true;  // the run's coding, for the parameters' levels
};

// The labels of levelCount alpha rows and parameterCount variance rows. A parameter is labelled with
// its level's label when the label file describes a model of these counts, else "parameter j".
// Throws OmbrelError naming the file when neither source exists, a file cannot be read, or the
// layout holds another number of labels than levelCount.
QuantityLabels ReadQuantityLabels(const LabelSources& sources, int levelCount, int parameterCount);

}  // namespace ombrel
