// sspack build and signatures: installers leave room for one (a length that is a multiple of 8,
// nothing after the directory), --sign checks its options before anything is written, a missing
// tool is one line, and a signed build reads back and is reproducible at a fixed signing time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "archive/extract.h"
#include "archive/reader.h"
#include "tests/unit/sspack/sspack_helpers.h"

namespace {

// sspack run inside `dir`, so that file names in `args` are the scratch folder's.
RunResult RunIn(const ScratchDir& dir, const std::string& args, const std::string& env = "") {
    return RunSspack(args, dir, "cd " + Quoted(dir.path()) + " && " + env);
}

std::string Build(const std::string& manifest, const std::string& out,
                  const std::string& stub = SSINSTALLER_PATH) {
    return "build " + Quoted(manifest) + " -o " + out + " --stub " + Quoted(stub);
}

TEST(SspackSign, EveryInstallerEndsOnAMultipleOfEight) {
    // Stubs of eight lengths in a row: each pad differs, and the entries still read back.
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    const Bytes stub = ReadWholeFile(SSINSTALLER_PATH);
    for (size_t extra = 0; extra < 8; ++extra) {
        SCOPED_TRACE(extra);
        Bytes longer = stub;
        longer.insert(longer.end(), extra, 0xCC);
        WriteWholeFile(dir.File("stub.exe"), longer);
        const std::string out = dir.File("out.exe");
        const RunResult r = RunSspack("build " + Quoted(manifest) + " -o " + Quoted(out) +
                                          " --stub " + Quoted(dir.File("stub.exe")) + " -q",
                                      dir);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Bytes built = ReadWholeFile(out);
        EXPECT_EQ(built.size() % 8, 0u);
        EXPECT_TRUE(std::equal(longer.begin(), longer.end(), built.begin()));
        ASSERT_NE(OpenArchive(out.c_str()), kInvalidFile);
        EXPECT_EQ(ReaderArchiveEnd(), built.size());
        const std::string saver = dir.File("saver.out");
        EXPECT_EQ(ExtractEntry("SAVER", saver.c_str()), 1);
        CloseArchive(ReaderHandle());
        EXPECT_EQ(ReadWholeFile(saver), ReadWholeFile(dir.File("saver.bin")));
    }
}

TEST(SspackSign, OptionsThatDoNotGoTogetherWriteNothing) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    WriteWholeFile(dir.File("c.pem"), BytesOf("certificate"));
    WriteWholeFile(dir.File("k.pem"), BytesOf("key"));
    struct Row {
        std::string args, message;
    } rows[] = {
        {"--cert c.pem --key k.pem", "the signing options need --sign"},
        {"--sign", "--sign needs --cert FILE and --key FILE, or --pkcs12 FILE"},
        {"--sign --cert c.pem", "--sign needs --cert FILE and --key FILE, or --pkcs12 FILE"},
        {"--sign --cert c.pem --key k.pem --pkcs12 c.pem", "either --cert and --key or --pkcs12"},
        {"--sign --cert c.pem --key k.pem --pass-file k.pem", "are for --pkcs12"},
        {"--sign --pkcs12 c.pem --pass-env SS_UNSET_PASSWORD", "SS_UNSET_PASSWORD is not set"},
        {"--sign --pkcs12 c.pem --pass-file k.pem --pass-env HOME", "either with --pass-file"},
        {"--sign --cert c.pem --key missing.pem", "cannot read 'missing.pem'"},
        {"--sign --cert", "--cert needs a value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const RunResult r = RunIn(dir, Build(manifest, "out.exe") + " " + row.args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("out.exe")));
    }
}

TEST(SspackSign, AMissingToolIsOneLineAndLeavesNoFile) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    WriteWholeFile(dir.File("c.pem"), BytesOf("certificate"));
    WriteWholeFile(dir.File("k.pem"), BytesOf("key"));
    const RunResult r =
        RunIn(dir, Build(manifest, "out.exe") + " -q --sign --cert c.pem --key k.pem",
              "PATH=/nonexistent");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err,
              "sspack: build: out.exe: osslsigncode is not installed (on Debian: apt-get "
              "install osslsigncode); cannot sign\n");
    EXPECT_FALSE(FileExists(dir.File("out.exe")));
    EXPECT_FALSE(FileExists(dir.File("out.exe.sspack-signed")));
}

TEST(SspackSign, ASignedBuildReadsBackAndIsReproducibleAtAFixedTime) {
#ifndef SS_WIN64_STUB
    GTEST_SKIP() << "no Windows installer to sign (configure with SS_WIN64_DIR)";
#else
    const std::string stub = SS_WIN64_STUB;
    if (std::system("command -v openssl >/dev/null && command -v osslsigncode >/dev/null") != 0)
        GTEST_SKIP() << "openssl or osslsigncode is not installed";
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    ASSERT_EQ(std::system(("cd " + Quoted(dir.path()) +
                           " && openssl req -x509 -newkey rsa:2048 -nodes -keyout k.pem -out "
                           "c.pem -days 2 -subj /CN=sspack-test -addext "
                           "extendedKeyUsage=codeSigning >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string sign = " -q --sign --cert c.pem --key k.pem --ca c.pem";
    const std::string epoch = "SOURCE_DATE_EPOCH=1700000000";
    const RunResult a = RunIn(dir, Build(manifest, "a.exe", stub) + sign);
    ASSERT_EQ(a.exit_code, 0) << a.err;
    const RunResult b = RunIn(dir, Build(manifest, "b.exe", stub) + sign, epoch);
    const RunResult c = RunIn(dir, Build(manifest, "c.exe", stub) + sign, epoch);
    ASSERT_EQ(b.exit_code, 0) << b.err;
    ASSERT_EQ(c.exit_code, 0) << c.err;
    EXPECT_EQ(ReadWholeFile(dir.File("b.exe")), ReadWholeFile(dir.File("c.exe")));

    const RunResult list = RunIn(dir, "list a.exe");
    EXPECT_EQ(list.exit_code, 0) << list.err;
    EXPECT_NE(list.out.find("a.exe: signed (certificate table of "), std::string::npos) << list.out;
    const RunResult json = RunIn(dir, "list a.exe --json");
    EXPECT_NE(json.out.find("\"signed\": true, \"certificate_table_size\": "), std::string::npos);
    EXPECT_EQ(RunIn(dir, "verify a.exe").exit_code, 0);
    const RunResult info = RunIn(dir, "info a.exe");
    EXPECT_NE(info.out.find("; signed: certificate table of "), std::string::npos) << info.out;
#endif
}

}  // namespace
