#include "email/mail_text.h"

#include <cstdio>

std::string Base64Encode(const std::string& bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        size_t left = bytes.size() - i;
        unsigned long group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2)
            group |= static_cast<unsigned char>(bytes[i + 2]);
        encoded += kAlphabet[(group >> 18) & 63];
        encoded += kAlphabet[(group >> 12) & 63];
        encoded += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        encoded += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return encoded;
}

bool HasLineBreakOrNul(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

ImapArgument ImapString(const std::string& text)
{
    ImapArgument argument;
    for (unsigned char c : text)
        if (c >= 0x80)
            argument.literal = true;
    if (argument.literal) {
        argument.text = text;
        return argument;
    }
    argument.text = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            argument.text += '\\';
        argument.text += c;
    }
    argument.text += '"';
    return argument;
}

std::vector<std::string> ImapLoginPieces(const std::string& user, const std::string& password)
{
    std::vector<std::string> pieces(1, "LOGIN ");
    for (const std::string* text : {&user, &password}) {
        ImapArgument argument = ImapString(*text);
        if (text == &password)
            pieces.back() += ' ';
        if (argument.literal) {
            pieces.back() += "{" + std::to_string(argument.text.size()) + "}";
            pieces.push_back(argument.text);
        } else {
            pieces.back() += argument.text;
        }
    }
    return pieces;
}

std::string CutForMessage(const std::string& text, size_t limit)
{
    std::string cut = text.size() <= limit ? text : text.substr(0, limit) + "...";
    std::string shown;
    size_t run = 0;
    for (char c : cut) {
        if (run == kMessageRun) {
            shown += "\r\n";
            run = 0;
        }
        shown += c;
        run = c == ' ' || c == '\n' ? 0 : run + 1;
    }
    return shown;
}

std::string VisibleMailText(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
