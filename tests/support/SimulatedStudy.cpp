#include "tests/support/SimulatedStudy.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "common/ByteStream.h"

namespace ombrel::test {

int EffectsParameterCount(const std::vector<int>& levels, bool withNone) {
    int count = withNone ? 1 : 0;
    for (int level : levels) count += level - 1;
    return count;
}

namespace {

void WriteLabelFile(const std::string& path, const SimulationSpec& spec) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    const int n = static_cast<int>(spec.levels.size());
    std::fprintf(file, "%d %d", n, spec.withNone ? 1 : 0);
    for (int level : spec.levels) std::fprintf(file, " %d", level);
    std::fprintf(file, "\n");
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) std::fprintf(file, "%d ", i == j ? 1 : 0);
        std::fprintf(file, "\n");
    }
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < spec.levels[static_cast<size_t>(i)]; ++k)
            std::fprintf(file, "%d %d Attribute %d level %d\n", i + 1, k + 1, i + 1, k + 1);
    if (spec.withNone) std::fprintf(file, "NONE\n");
    std::fclose(file);
}

}  // namespace

SimulatedStudy WriteSimulatedStudy(const std::string& folder, const SimulationSpec& spec) {
    std::mt19937_64 engine(spec.seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    SimulatedStudy study;
    const int p = EffectsParameterCount(spec.levels, spec.withNone);
    study.parameterCount = p;
    study.meanPartWorths.resize(static_cast<size_t>(p));
    for (double& value : study.meanPartWorths) value = normal(engine);
    if (spec.withNone) study.meanPartWorths.back() = -0.5;

    WriteLabelFile(folder + "qebatt.tmp", spec);
    FileByteStream data;
    if (!data.Open(folder + "qebdat.tmp", "wb"))
        throw std::runtime_error("cannot write " + folder + "qebdat.tmp");

    const int alternatives = spec.concepts + 1;  // the None alternative always stands last
    const int columns = p;                       // design columns, None column included when estimated
    std::vector<double> rows(static_cast<size_t>(alternatives * columns));
    std::vector<double> utilities(static_cast<size_t>(alternatives));
    for (int n = 0; n < spec.respondents; ++n) {
        std::vector<double> betas(static_cast<size_t>(p));
        for (int k = 0; k < p; ++k)
            betas[static_cast<size_t>(k)] =
                study.meanPartWorths[static_cast<size_t>(k)] + spec.heterogeneity * normal(engine);
        study.partWorths.push_back(betas);

        WriteInt32(data, n + 1);
        WriteInt32(data, spec.tasks);
        for (int t = 0; t < spec.tasks; ++t) {
            std::fill(rows.begin(), rows.end(), 0.0);
            for (int c = 0; c < spec.concepts; ++c) {
                double* row = rows.data() + c * columns;
                int column = 0;
                for (int level : spec.levels) {
                    const int chosenLevel = static_cast<int>(uniform(engine) * level) % level;
                    for (int k = 0; k < level - 1; ++k)
                        row[column + k] = chosenLevel == level - 1 ? -1.0 : (chosenLevel == k ? 1.0 : 0.0);
                    column += level - 1;
                }
            }
            if (spec.withNone) rows[static_cast<size_t>((alternatives - 1) * columns + columns - 1)] = 1.0;
            const int rowCount = spec.withNone ? alternatives : spec.concepts;
            double total = 0.0;
            for (int r = 0; r < rowCount; ++r) {
                double u = 0.0;
                for (int k = 0; k < columns; ++k)
                    u += rows[static_cast<size_t>(r * columns + k)] * betas[static_cast<size_t>(k)];
                utilities[static_cast<size_t>(r)] = std::exp(u);
                total += utilities[static_cast<size_t>(r)];
            }
            double pick = uniform(engine) * total;
            int chosen = rowCount - 1;
            for (int r = 0; r < rowCount; ++r) {
                pick -= utilities[static_cast<size_t>(r)];
                if (pick <= 0.0) {
                    chosen = r;
                    break;
                }
            }
            WriteInt32(data, rowCount);
            WriteInt32(data, columns);
            for (int r = 0; r < rowCount; ++r) {
                for (int k = 0; k < columns; ++k)
                    WriteFloat64(data, rows[static_cast<size_t>(r * columns + k)]);
                WriteInt32(data, r == chosen ? 1 : 0);
            }
            WriteFloat64(data, 1.0 / (1e-10 + 1.0));
        }
    }
    if (!data.Close()) throw std::runtime_error("cannot finish " + folder + "qebdat.tmp");
    return study;
}

}  // namespace ombrel::test
