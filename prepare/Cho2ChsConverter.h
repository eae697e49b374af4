#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "common/ByteStream.h"
#include "common/Messenger.h"
#include "common/TextSource.h"

namespace ombrel {

// Converts a discrete-choice data file (".cho") into an allocation data file (".chs"): header and
// respondent variables are copied, every task gains a None row of zeros when the respondent's None
// flag is 1, and every row gets its points: 1 for the chosen concept and 0 for the others, or, with
// a response file, the next integer of that file for every row (0 once it runs out).
// The target is created or truncated. Failures throw OmbrelError with the user's message; the
// target then keeps what was written before the failure. An input that ends inside a respondent or
// a task header simply ends the conversion. responsePath empty: no response file.
void Cho2ChsConvert(const std::string& sourcePath, const std::string& targetPath,
                    const std::string& responsePath = std::string());

// The same conversion over streams: choice data from data, the points from responses unless it is
// null, the converted text to target, handed over once per respondent and before a failure is
// reported. dataName names the data in messages, targetName the target when a write fails,
// responsesName the responses.
void Cho2ChsConvert(TextSource& data, TextSource* responses, ByteSink& target, const std::string& dataName,
                    const std::string& targetName, const std::string& responsesName = "the response file");

// How a concept's number is written: "%lf", then trailing "0" and then trailing "." characters
// removed (3 -> "3", 2.5 -> "2.5", 0 -> "0", -1 -> "-1").
std::string ChsValueText(double value);

// The message for a concept count outside 1 .. 1000; at seconds since the epoch that are a multiple
// of 4 it carries a plea about windows.
std::string ConceptCountMessage(int32_t respondentNumber, std::time_t now);

// Name of the converted file for a data file: its file name part lower-cased, every ".cho" in it
// replaced by ".chs"; the folder part is kept as it is, since another case may name another folder.
std::string ChsOutputName(const std::string& dataPath);

// The converter command shared by the dialog and the command line. Both names are trimmed; a
// missing data or response file gives "Cannot locate %s.", a data file whose name holds no ".cho"
// (so the output would be the data file itself) is refused, and a conversion failure shows its
// message (exclamation icon). On success shows "The conversion completed successfully."
// (information icon), stores the output name in outputPath when given, and returns true.
bool ConvertChoToChs(const std::string& dataPath, const std::string& responsePath, Messenger& messenger,
                     std::string* outputPath = nullptr);

}  // namespace ombrel
