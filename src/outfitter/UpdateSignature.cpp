#include "outfitter/UpdateSignature.h"

#include <sodium.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace outfitter {

namespace {

void startSodium() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

std::string encode(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);  // the terminating zero
    return text;
}

// Decodes exactly N bytes of Base64, ignoring surrounding white space.
template <std::size_t N>
std::optional<std::array<unsigned char, N>> decode(std::string_view base64) {
    const std::size_t first = base64.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::nullopt;
    base64 = base64.substr(first, base64.find_last_not_of(" \t\r\n") - first + 1);
    if (sodium_init() < 0) return std::nullopt;
    std::array<unsigned char, N + 3> buffer{};
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(buffer.data(), buffer.size(), base64.data(), base64.size(), nullptr,
                          &length, &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != base64.data() + base64.size() || length != N)
        return std::nullopt;
    std::array<unsigned char, N> result{};
    std::copy_n(buffer.begin(), N, result.begin());
    return result;
}

struct SecretKey {
    unsigned char key[crypto_sign_SECRETKEYBYTES];
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    ~SecretKey() { sodium_memzero(key, sizeof key); }
};

bool expand(std::string_view secretKey, SecretKey& expanded) {
    auto seed = decode<crypto_sign_SEEDBYTES>(secretKey);
    if (!seed) return false;
    crypto_sign_seed_keypair(expanded.publicKey, expanded.key, seed->data());
    sodium_memzero(seed->data(), seed->size());
    return true;
}

}  // namespace

UpdateSignature::KeyPair UpdateSignature::generateKeyPair() {
    startSodium();
    unsigned char seed[crypto_sign_SEEDBYTES];
    randombytes_buf(seed, sizeof seed);
    SecretKey expanded;
    crypto_sign_seed_keypair(expanded.publicKey, expanded.key, seed);
    KeyPair pair{encode(seed, sizeof seed), encode(expanded.publicKey, sizeof expanded.publicKey)};
    sodium_memzero(seed, sizeof seed);
    return pair;
}

std::optional<std::string> UpdateSignature::publicKeyOf(std::string_view secretKey) {
    SecretKey expanded;
    if (!expand(secretKey, expanded)) return std::nullopt;
    return encode(expanded.publicKey, sizeof expanded.publicKey);
}

std::string UpdateSignature::sign(std::string_view bytes, std::string_view secretKey) {
    startSodium();
    SecretKey expanded;
    if (!expand(secretKey, expanded)) throw std::invalid_argument("not an Ed25519 secret key");
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()),
                         bytes.size(), expanded.key);
    return encode(signature, sizeof signature);
}

std::optional<UpdateSignature::PublicKey> UpdateSignature::decodePublicKey(
    std::string_view base64) {
    return decode<crypto_sign_PUBLICKEYBYTES>(base64);
}

std::optional<UpdateSignature::Signature> UpdateSignature::decodeSignature(
    std::string_view base64) {
    return decode<crypto_sign_BYTES>(base64);
}

bool UpdateSignature::verify(std::string_view bytes, const Signature& signature,
                             const PublicKey& key) {
    if (sodium_init() < 0) return false;
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       bytes.size(), key.data()) == 0;
}

bool UpdateSignature::verifyFile(int fd, std::uint64_t length, const Signature& signature,
                                 const PublicKey& key) {
    // Mapped pages past the file's end would fault: the file must be as long
    // as the length checked.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) != length)
        return false;
    if (length == 0) return verify({}, signature, key);
    void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) return false;
    const bool valid =
        verify(std::string_view(static_cast<const char*>(mapped), length), signature, key);
    ::munmap(mapped, length);
    return valid;
}

}  // namespace outfitter
