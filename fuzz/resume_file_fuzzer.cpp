// The resume file (".resume"): read back against the expectation its own head gives (so that the
// fuzzer gets past the checks a real run would make), with its trailing check value made right, and
// written out again, which must give the very bytes read.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteStream.h"
#include "estimator/files/ResumeFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

int32_t IntAt(const std::vector<unsigned char>& bytes, size_t at) {
    return at + 4 <= bytes.size() ? ombrel::DecodeInt32(bytes.data() + at) : 0;
}

uint64_t Uint64At(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<uint64_t>(static_cast<uint32_t>(IntAt(bytes, at))) |
           (static_cast<uint64_t>(static_cast<uint32_t>(IntAt(bytes, at + 4))) << 32);
}

// The head: magic 8, version 4, kind 4, restart check 8, previous check 8, settings check 8, then
// N, P, levelCount, constrained, saveDraws, completed iterations.
ombrel::ResumeExpectation ExpectationOf(const std::vector<unsigned char>& bytes) {
    ombrel::ResumeExpectation expected;
    expected.restartCheck = Uint64At(bytes, 16);
    expected.settingsCheck = Uint64At(bytes, 32);
    expected.respondentCount = IntAt(bytes, 40);
    expected.parameterCount = IntAt(bytes, 44);
    expected.levelCount = IntAt(bytes, 48);
    expected.constrained = IntAt(bytes, 52) == 1;
    expected.saveDraws = IntAt(bytes, 56) == 1;
    expected.completedIterations = IntAt(bytes, 60);
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    if (bytes.size() >= 8) {
        const size_t body = bytes.size() - 8;
        uint64_t check = ombrel::Fnv1a(std::string_view(reinterpret_cast<const char*>(bytes.data()), body));
        for (size_t i = body; i < bytes.size(); ++i, check >>= 8)
            bytes[i] = static_cast<unsigned char>(check);
    }
    std::string reason;
    const std::optional<ombrel::ResumeRecord> record =
        ombrel::ReadResumeRecord(bytes, ExpectationOf(bytes), reason);
    if (!record) return 0;
    ombrel::MemoryByteSink written;
    if (!ombrel::WriteResumeRecord(*record, written) || written.Bytes() != bytes) __builtin_trap();
    return 0;
}
