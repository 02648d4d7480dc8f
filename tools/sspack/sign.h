// Room for an Authenticode signature, and signing a built installer with the platform's tool
// (osslsigncode on Linux, signtool on Windows).
#pragma once

#include <stdint.h>

#include <string>

// Signing tools align the certificate table to 8 bytes with zero bytes before it. An installer
// whose length is already a multiple of 8 gets none, so its archive ends exactly at the table.
constexpr uint32_t kSignatureAlignment = 8;

// Zero bytes that bring `length` to a multiple of the alignment (0 to 7).
inline uint32_t SignaturePadding(uint64_t length) {
    return static_cast<uint32_t>((kSignatureAlignment - length % kSignatureAlignment) %
                                 kSignatureAlignment);
}

struct SignOptions {
    bool sign = false;
    std::string cert;       // PEM certificate (chain) ...
    std::string key;        // ... and its private key
    std::string pkcs12;     // or one PKCS#12 file
    std::string pass_file;  // its password: the first line of this file
    std::string pass_env;   // or this environment variable
    std::string timestamp;  // an RFC 3161 time-stamping server
    std::string ca;         // the CA certificates the signature is checked against
};

// Takes argv[*i] (and its value, advancing *i) when it is a signing option: 1. 0 when it is not
// one; -1 with `problem` set when its value is missing.
int ParseSignOption(int argc, char** argv, int* i, SignOptions* s, std::string* problem);

// Why the signing options do not go together, or "".
std::string SignOptionsProblem(const SignOptions& s);

// The usage text of the signing options.
const char* SignUsage();

// Signs `file` in place through `scratch`, then checks the signature with the tool's verifier and
// that the archive still ends where it ended (`archive_end`), now before a certificate table.
// "" on success, else one line saying what failed (a missing tool says so).
std::string SignInstaller(const SignOptions& s, const std::string& file, const std::string& scratch,
                          uint64_t archive_end, bool verbose);
