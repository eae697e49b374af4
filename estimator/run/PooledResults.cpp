#include "estimator/run/PooledResults.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/AtomicFile.h"
#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/PointEstimates.h"

namespace ombrel {

namespace {

int ChainCount(const std::vector<RunResults>& chains) { return static_cast<int>(chains.size()); }

// Every chain completed the same study with the same counts.
void CheckChainsFit(const std::vector<RunResults>& chains) {
    if (chains.empty()) throw OmbrelError("There are no chains whose results could be pooled.");
    const RunResults& first = chains.front();
    for (int k = 1; k <= ChainCount(chains); ++k) {
        const RunResults& chain = chains[static_cast<size_t>(k - 1)];
        if (chain.end != RunEnd::Completed)
            throw OmbrelError(Format("Chain %d did not complete, so the chains cannot be pooled.", k));
        if (chain.respondentCount != first.respondentCount || chain.parameterCount != first.parameterCount ||
            chain.levelCount != first.levelCount || chain.drawsPerRespondent != first.drawsPerRespondent ||
            chain.saveDraws != first.saveDraws || chain.hasNone != first.hasNone)
            throw OmbrelError(
                Format("Chain %d estimated other counts than chain 1, so the chains cannot be pooled.", k));
    }
}

// The label file's message, kept to be thrown: the pooling has nobody to show it to.
class KeptMessage : public Messenger {
public:
    void Show(const std::string& text, MessageIcon) override {
        if (text_.empty()) text_ = text;
    }
    Answer Ask(const std::string& text, ButtonSet, MessageIcon icon) override {
        Show(text, icon);
        return Answer::Cancel;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

struct PoolModel {
    AttributeModel model;
    LevelExpansion expansion;
};

PoolModel LoadPoolModel(const StudyFiles& study, bool effectsCoding) {
    PoolModel pool;
    KeptMessage message;
    LoadAttributeLabels(study.Folder(), message, pool.model);
    if (!message.Text().empty()) throw OmbrelError(message.Text());
    pool.expansion = LevelExpansion(pool.model, effectsCoding);
    return pool;
}

// Adds up the chains' accumulator records into the study folder's "betas.upd", left open.
void SumAccumulators(const StudyFiles& study, const RunResults& first, int chainCount,
                     DrawScratchFile& pooled) {
    const size_t recordSize = static_cast<size_t>(AccumulatorRecordSize(first.levelCount));
    const size_t values = 1 + 2 * static_cast<size_t>(first.levelCount);
    std::vector<std::ifstream> inputs;
    for (int k = 1; k <= chainCount; ++k) {
        inputs.emplace_back(study.ForChain(k).DrawAccumulators(), std::ios::binary);
        if (!inputs.back())
            throw OmbrelError(Format("The file %s of chain %d could not be opened.",
                                     study.ForChain(k).DrawAccumulators().c_str(), k));
    }
    if (!pooled.Create(study.DrawAccumulators()))
        throw OmbrelError(Format("The file %s could not be opened.", study.DrawAccumulators().c_str()));
    std::vector<unsigned char> record(recordSize);
    std::vector<unsigned char> sum(recordSize);
    for (int n = 0; n < first.respondentCount; ++n) {
        for (int k = 1; k <= chainCount; ++k) {
            const std::string path = study.ForChain(k).DrawAccumulators();
            std::ifstream& input = inputs[static_cast<size_t>(k - 1)];
            if (!input.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(recordSize)))
                throw OmbrelError(Format("The file %s of chain %d ends before respondent %d of %d.",
                                         path.c_str(), k, n + 1, first.respondentCount));
            if (k == 1) {
                sum = record;
                continue;
            }
            if (DecodeInt32(record.data()) != DecodeInt32(sum.data()))
                throw OmbrelError(
                    Format("The file %s of chain %d holds respondent %d where chain 1 holds respondent %d.",
                           path.c_str(), k, DecodeInt32(record.data()), DecodeInt32(sum.data())));
            for (size_t i = 0; i < values; ++i) {
                unsigned char* to = sum.data() + 4 + 8 * i;
                EncodeFloat64(DecodeFloat64(to) + DecodeFloat64(record.data() + 4 + 8 * i), to);
            }
        }
        if (!pooled.Write(sum.data(), sum.size()))
            throw OmbrelError(Format("The file %s could not be written.", study.DrawAccumulators().c_str()));
    }
}

// The lines one draws-file record takes: its header, then the values ten to a line.
int LinesPerDrawRecord(int levelCount) { return 1 + (levelCount + 9) / 10; }

// The study's ".dra" from the chains' draws files: per respondent chain 1's records, then chain 2's, ...
void PoolDrawFiles(const StudyFiles& study, const RunResults& first, int chainCount) {
    std::vector<std::ifstream> inputs;
    for (int k = 1; k <= chainCount; ++k) {
        inputs.emplace_back(study.ForChain(k).Draws());
        if (!inputs.back())
            throw OmbrelError(Format("The draws file %s of chain %d could not be opened.",
                                     study.ForChain(k).Draws().c_str(), k));
    }
    AtomicFile pooled;
    if (!pooled.Open(study.Draws()))
        throw OmbrelError(Format("The draws file %s could not be created.", study.Draws().c_str()));
    const int lines = LinesPerDrawRecord(first.levelCount);
    std::string line;
    long long number = 0;
    for (int n = 0; n < first.respondentCount; ++n) {
        for (int k = 1; k <= chainCount; ++k) {
            std::ifstream& input = inputs[static_cast<size_t>(k - 1)];
            for (int m = 0; m < first.drawsPerRespondent; ++m) {
                for (int l = 0; l < lines; ++l) {
                    if (!std::getline(input, line))
                        throw OmbrelError(
                            Format("The draws file %s of chain %d ends before respondent %d of %d.",
                                   study.ForChain(k).Draws().c_str(), k, n + 1, first.respondentCount));
                    if (l == 0) {
                        const long long read = std::atoll(line.c_str());
                        if (k == 1 && m == 0) number = read;
                        if (read != number)
                            throw OmbrelError(
                                Format("The draws file %s of chain %d holds respondent %lld where chain 1 "
                                       "holds respondent %lld.",
                                       study.ForChain(k).Draws().c_str(), k, read, number));
                    }
                    line.push_back('\n');
                    std::fwrite(line.data(), 1, line.size(), pooled.File());
                }
            }
        }
    }
    if (!pooled.Commit(false))
        throw OmbrelError(Format("The draws file %s could not be written.", study.Draws().c_str()));
}

}  // namespace

void WritePooledResults(const StudyFiles& study, const std::vector<RunResults>& chains, bool effectsCoding) {
    CheckChainsFit(chains);
    const RunResults& first = chains.front();
    const int chainCount = ChainCount(chains);
    const PoolModel pool = LoadPoolModel(study, effectsCoding);
    if (pool.model.levelCount != first.levelCount)
        throw OmbrelError(Format("The file %s describes %d levels where the chains estimated %d.",
                                 study.AttributeLabels().c_str(), pool.model.levelCount, first.levelCount));
    const SummarySums sums = SumChainSums(chains);

    DrawLayout layout;
    layout.respondentCount = first.respondentCount;
    layout.parameterCount = first.parameterCount;
    layout.drawsPerRespondent = chainCount * first.drawsPerRespondent;
    layout.hasNone = first.hasNone;
    DrawScratchFile accumulators;
    if (first.saveDraws)
        PoolDrawFiles(study, first, chainCount);
    else
        SumAccumulators(study, first, chainCount, accumulators);

    EstimateInputs inputs;
    inputs.files = &study;
    inputs.layout = layout;
    inputs.saveDraws = first.saveDraws;
    inputs.accumulators = first.saveDraws ? nullptr : &accumulators;
    WritePointEstimates(pool.model, inputs);
    WriteCsv(pool.model, inputs);
    if (!first.saveDraws)
        WriteStandardDeviations(study.StandardDeviations(), accumulators, layout, pool.model.levelCount);
    WriteSummary(study.Summary(), sums, layout.drawsPerRespondent, pool.expansion);
    accumulators.Close();
}

SummarySums SumChainSums(const std::vector<RunResults>& chains) {
    SummarySums total;
    if (chains.empty()) return total;
    total = chains.front().sums;
    for (size_t k = 1; k < chains.size(); ++k) {
        const SummarySums& sums = chains[k].sums;
        auto add = [](std::vector<double>& to, const std::vector<double>& from) {
            if (from.size() != to.size()) throw OmbrelError("The chains' summaries differ in size.");
            for (size_t i = 0; i < to.size(); ++i) to[i] += from[i];
        };
        add(total.alphaSum, sums.alphaSum);
        add(total.constrainedBetaSum, sums.constrainedBetaSum);
        add(total.covarianceSum, sums.covarianceSum);
    }
    return total;
}

}  // namespace ombrel
