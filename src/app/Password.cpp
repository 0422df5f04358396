#include "app/Password.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned ValueOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned>(c - 'a') + 26;
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0') + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0; // "=" and anything else count as 0
}
} // namespace

std::string EncodePassword(const std::string& strPassword)
{
    const std::string in = strPassword.substr(0, strPassword.find('\0'));
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        const auto b1 = static_cast<unsigned char>(in[i + 1]);
        const auto b2 = static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
        out += kAlphabet[b2 & 63];
    }
    if (in.size() - i == 1) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[(b0 & 3) << 4];
        out += "==";
    } else if (in.size() - i == 2) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        const auto b1 = static_cast<unsigned char>(in[i + 1]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += kAlphabet[(b1 & 15) << 2];
        out += '=';
    }
    return out;
}

std::string DecodePassword(const std::string& strStored)
{
    std::string out;
    for (std::size_t i = 0; i < strStored.size(); i += 4) {
        unsigned v[4] = {0, 0, 0, 0};
        for (std::size_t k = 0; k < 4 && i + k < strStored.size(); ++k)
            v[k] = ValueOf(strStored[i + k]);
        const char bytes[3] = {static_cast<char>(((v[0] << 2) | (v[1] >> 4)) & 0xFF),
                               static_cast<char>(((v[1] << 4) | (v[2] >> 2)) & 0xFF),
                               static_cast<char>(((v[2] << 6) | v[3]) & 0xFF)};
        for (char b : bytes) {
            if (b == '\0')
                return out;
            out += b;
        }
    }
    return out;
}
