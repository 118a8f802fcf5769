// SPDX-License-Identifier: GPL-3.0-or-later
#include "netport/TlsIdentity.h"

#include "netport/tls/Fingerprint.h"
#include "netport/tls/TlsChannel.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace netport {
namespace {

constexpr long kValidDays = 3653; // ten years, leap days included
constexpr char kCommonName[] = "Ondrel radio host";

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* object) const { Free(object); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Freer<X509, X509_free>>;

std::string Resolved(const std::string& setting, const std::filesystem::path& folder)
{
    const std::filesystem::path path(setting);
    return path.is_absolute() ? setting : (folder / path).string();
}

bool Exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Writes `write`'s PEM output to `path` through a new file of mode `mode` beside it,
// then renames it into place, so that a crash never leaves half a file.
template <typename Write>
bool WritePem(const std::string& path, mode_t mode, Write write, std::string& error)
{
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // The mode asked for, whatever the umask.
    ::fchmod(fd, mode);
    FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temporary.c_str());
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write(file) == 1 && std::fflush(file) == 0 && ::fsync(fd) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool MakeSelfSigned(const TlsFiles& files, std::string& error)
{
    KeyPointer key(EVP_EC_gen("P-256"));
    CertificatePointer certificate(X509_new());
    if (!key || !certificate) {
        error = "cannot make a TLS key";
        return false;
    }
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) {
        error = "no random numbers for the TLS certificate";
        return false;
    }
    serial[0] &= 0x7F; // a positive serial number
    std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>> serialNumber(BN_bin2bn(serial, sizeof serial, nullptr));
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const bool built =
        serialNumber && X509_set_version(certificate.get(), 2) == 1 &&
        BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(certificate.get())) != nullptr &&
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) != nullptr &&
        X509_time_adj_ex(X509_getm_notAfter(certificate.get()), kValidDays, 0, nullptr) != nullptr &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kCommonName),
                                   -1, -1, 0) == 1 &&
        X509_set_issuer_name(certificate.get(), name) == 1 && X509_set_pubkey(certificate.get(), key.get()) == 1 &&
        X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0;
    if (!built) {
        error = "cannot make the TLS certificate";
        return false;
    }
    // The key first: a certificate on disk always has its key beside it.
    return WritePem(
               files.key, 0600,
               [&key](FILE* file) {
                   return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
               },
               error) &&
           WritePem(
               files.certificate, 0644,
               [&certificate](FILE* file) { return PEM_write_X509(file, certificate.get()); }, error);
}

} // namespace

bool ResolveTlsFiles(const std::string& certificateSetting, const std::string& keySetting,
                     const std::string& settingsFile, TlsFiles& files, std::string& error)
{
    const std::filesystem::path folder = std::filesystem::path(settingsFile).parent_path();
    if (certificateSetting.empty() != keySetting.empty()) {
        error = "\"MIREL TLS Certificate\" and \"MIREL TLS Key\" must be set together (or neither, for the "
                "certificate made beside the settings file)";
        return false;
    }
    files.defaults = certificateSetting.empty();
    files.certificate = Resolved(files.defaults ? kDefaultCertificateFileName : certificateSetting, folder);
    files.key = Resolved(files.defaults ? kDefaultKeyFileName : keySetting, folder);
    return true;
}

bool PrepareTlsIdentity(const TlsFiles& files, bool& made, std::string& fingerprint, std::string& error)
{
    made = false;
    if (files.defaults && !Exists(files.certificate) && !Exists(files.key)) {
        if (!MakeSelfSigned(files, error)) {
            return false;
        }
        made = true;
    }
    struct stat status {};
    if (::stat(files.key.c_str(), &status) != 0) {
        error = "the TLS key " + files.key + " cannot be read: " + std::strerror(errno);
        return false;
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        error = "the TLS key " + files.key + " is open to other users (mode " + mode +
                "); make it private with: chmod 600 " + files.key;
        return false;
    }
    if (!tls::TlsContext::ForServer(files.certificate, files.key, error)) {
        return false;
    }
    fingerprint = tls::CertificateFileFingerprint(files.certificate, error);
    return !fingerprint.empty();
}

std::string CertificateFingerprint(const std::string& certificateFile, std::string& error)
{
    return tls::CertificateFileFingerprint(certificateFile, error);
}

} // namespace netport
