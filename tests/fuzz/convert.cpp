// Fuzz target: the conversions' round trips. Decimal and hexadecimal text of
// every value gives the value back, canonical text gives the same text back,
// and the split-hex form decodes to the record it was made from.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "qelint.h"

namespace {

void Fail(const char *what, const std::string &detail)
{
    fprintf(stderr, "%s: %s\n", what, detail.c_str());
    abort();
}

bool IsCanonicalDecimal(const std::string &t)
{
    size_t i = t[0] == '-' ? 1 : 0;
    if (i >= t.size() || t[i] == '0') return t == "0";
    for (size_t k = i; k < t.size(); k++)
        if (t[k] < '0' || t[k] > '9') return false;
    long long v = atoll(t.c_str());
    return t.size() - i <= 10 && v >= -2147483648LL && v <= 2147483647LL;
}

std::string UpperHex(const std::string &t)
{
    std::string u = t;
    for (char &c : u) {
        if (c >= 'a' && c <= 'f') c = (char)(c - 32);
        else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return "";
    }
    return u;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int x = in.ConsumeIntegral<int>();
    if (qelStrVal(qelStr(x)) != x) Fail("qelStrVal(qelStr(x))", std::to_string(x));
    if (qelHexVal(qelHex(x)) != x) Fail("qelHexVal(qelHex(x))", std::to_string(x));
    char hex[9];
    snprintf(hex, sizeof hex, "%08X", (unsigned)x);
    if (strcmp(hex, qelHex(x)) != 0) Fail("qelHex", hex);
    if (std::to_string(x) != qelStr(x)) Fail("qelStr", std::to_string(x));

    // Text to value and back: canonical texts survive, other texts may not
    // but must not hurt.
    std::string t = in.ConsumeRandomLengthString(16);
    t.resize(strlen(t.c_str()));
    std::vector<char> text(t.c_str(), t.c_str() + t.size() + 1);
    int v = qelStrVal(text.data());
    if (!t.empty() && IsCanonicalDecimal(t) && t != qelStr(v)) Fail("qelStr(qelStrVal(t))", t);
    v = qelHexVal(text.data());
    std::string u = UpperHex(t);
    if (u.size() == 8 && u != qelHex(v)) Fail("qelHex(qelHexVal(t))", t);

    // The record: encode, check the form, decode. The buffer is exactly
    // length bytes (one more when odd, which must stay).
    std::string record = in.ConsumeRemainingBytesAsString();
    bool odd = !record.empty() && (record[0] & 1);
    size_t length = 2 * record.size();
    std::vector<char> buf(length + odd + !(length + odd));
    memcpy(buf.data(), record.data(), record.size());
    memset(buf.data() + record.size(), '~', length - record.size() + odd);
    char *b = buf.data();
    int n = qelText(1, b, (int)(length + odd));
    if (n != (length >= 2 ? (int)length : 0)) Fail("qelText(1) count", std::to_string(n));
    for (size_t i = 0; i < record.size(); i++) {
        unsigned char c = (unsigned char)record[i];
        if (b[i] != "0123456789ABCDEF"[c >> 4] || b[record.size() + i] != "0123456789ABCDEF"[c & 15])
            Fail("qelText(1) digits", std::to_string(i));
    }
    if (odd && b[length] != '~') Fail("qelText(1) odd byte", "");
    n = qelText(-1, b, (int)(length + odd));
    if (n != (length >= 2 ? (int)record.size() : 0)) Fail("qelText(-1) count", std::to_string(n));
    if (memcmp(b, record.data(), record.size()) != 0) Fail("qelText round trip", record);
    for (size_t i = record.size(); i < length; i++)
        if (b[i] != 0) Fail("qelText(-1) second half", std::to_string(i));
    if (odd && b[length] != '~') Fail("qelText(-1) odd byte", "");
    return 0;
}
