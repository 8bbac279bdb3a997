// https against tests/tls/tls_server.py: a loopback TLS server whose
// certificate is self-signed, so verification must refuse it.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/LibraryTest.h"
#include "support/Subprocess.h"

namespace {

class TlsTest : public LibraryTest {};

// Waits (bounded) until the file holds the text; the server writes its log
// from its own threads.
bool FileSoonContains(const std::string& path, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ReadWholeFile(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST_F(TlsTest, SelfSignedCertificateFailsTheSendWithTheCertificateError) {
    if (geteuid() != 0) GTEST_SKIP() << "listening on port 443 needs root";
    ScratchFolder folder;
    const std::string address = UniqueLoopbackAddress();
    const auto environment = EnvironmentWithout({});
    {
        Subprocess openssl({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            folder.Path("key.pem"), "-out", folder.Path("cert.pem"), "-days", "2",
                            "-subj", "/CN=" + address},
                           environment, folder.Path("openssl.out"), folder.Path("openssl.err"));
        ASSERT_EQ(openssl.Wait(std::chrono::seconds(60)), 0) << ReadWholeFile(folder.Path("openssl.err"));
    }
    Subprocess server({"python3", TLS_SERVER, address, folder.Path("cert.pem"), folder.Path("key.pem"),
                       folder.Path("log"), folder.Path("ready"), "60"},
                      environment, folder.Path("server.out"), folder.Path("server.err"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(folder.Path("ready"))) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ReadWholeFile(folder.Path("server.err"));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    Fetch("https://" + address + "/secret");
    EXPECT_EQ(Messages(), ErrorBox("HttpSendRequest error 12045\n"));
    EXPECT_EQ(library->GetReadSize(), 0u);

    // A TLS hello on 443, a handshake the library broke off, and no request
    // in the clear anywhere.
    EXPECT_TRUE(FileSoonContains(folder.Path("log"), "tls-port handshake-failed"))
        << ReadWholeFile(folder.Path("log"));
    const std::string log = ReadWholeFile(folder.Path("log"));
    EXPECT_NE(log.find("tls-port first-bytes 16"), std::string::npos) << log;
    EXPECT_EQ(log.find("request"), std::string::npos) << log;
    EXPECT_EQ(log.find("plain-port"), std::string::npos) << log;
}

}  // namespace
