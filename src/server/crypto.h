// Hashes and secrets from OpenSSL's libcrypto.
#pragma once
#include <string>
#include <string_view>

// SHA-256 of the bytes as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);

// `bytes` bytes from the system's cryptographic random source, as 2 * bytes hex digits.
// Throws std::runtime_error when the source fails.
std::string random_hex(size_t bytes);

// Compares two strings in a time that depends only on their lengths.
bool same_secret(std::string_view a, std::string_view b);
