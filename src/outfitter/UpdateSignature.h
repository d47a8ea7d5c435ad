// UpdateSignature: Ed25519 signatures over whole release archives, with
// libsodium. The maker keeps a secret key (Base64 of its 32-byte seed) and
// publishes the public key (Base64 of 32 bytes), which is built into the
// program; the feed carries each archive's signature (Base64 of 64 bytes).
// The signature covers the archive's exact bytes, so a single changed,
// missing or added byte fails the check.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace outfitter {

class UpdateSignature {
public:
    using PublicKey = std::array<unsigned char, 32>;
    using Signature = std::array<unsigned char, 64>;

    struct KeyPair {
        std::string secretKey;  // Base64 seed: keep it out of every repository
        std::string publicKey;  // Base64: the program's QUILLFEN_UPDATE_PUBLIC_KEY
    };

    // A fresh key pair from the system's random source. Throws
    // std::runtime_error when the cryptography library cannot start.
    static KeyPair generateKeyPair();
    // The public key that belongs to a Base64 secret key, or nothing when
    // `secretKey` is not one.
    static std::optional<std::string> publicKeyOf(std::string_view secretKey);

    // The Base64 signature of `bytes` with the Base64 secret key. Throws
    // std::invalid_argument for a key that is not one.
    static std::string sign(std::string_view bytes, std::string_view secretKey);

    static std::optional<PublicKey> decodePublicKey(std::string_view base64);
    static std::optional<Signature> decodeSignature(std::string_view base64);

    // Whether the open regular file `fd`, exactly `length` bytes long, carries
    // `signature` by `key`. Reads the file through a read-only mapping and
    // leaves its offset alone; false also when it cannot be read or has
    // another length.
    static bool verifyFile(int fd, std::uint64_t length, const Signature& signature,
                           const PublicKey& key);
    static bool verify(std::string_view bytes, const Signature& signature, const PublicKey& key);
};

}  // namespace outfitter
