// The INI conventions every page follows, and the folder-name rules of the queue.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>

// A value is true when it begins with 'Y', 'y' or '1', or equals "TRUE" in any case.
bool IniBool(const char* value);

// Appends text to dest only while dest is shorter than capacity, copying at most
// capacity - length - 1 characters; the result is always terminated.
void AppendBounded(char* dest, const char* text, size_t capacity);

// A number read back from an INI value: its leading decimal digits, 0 when none.
unsigned long IniNumber(const char* value);

// The folder name of an outbound sub-queue: ':', '/' and '\' become '-'. A name made of
// dots and spaces alone (".", "..", ".. ") would leave the queue root, so its dots become
// '-' too.
std::string SubQueueFolderName(const std::string& subQueue);

// Appends a backslash unless text already ends with one (or is empty).
std::string WithTrailingBackslash(const std::string& text);

// A value with line breaks kept on one INI line: CR, LF and the backslash written as "\r",
// "\n" and "\\", and read back. Any other backslash sequence reads as it stands.
std::string EncodeLineBreaks(const std::string& text);
std::string DecodeLineBreaks(const std::string& value);

// The section of a modem or route named by its "Modem1" value: "Modem - " in front unless
// the name already carries a route prefix, and "[" / "]" written as \x5B / \x5D so that the
// name can stand between the brackets of a section header.
std::string ModemSectionName(const std::string& name);
