#include "spool/viewers/mms_control_file.h"

#include <cstring>

#include "base/text.h"

namespace {

constexpr size_t kValueLimit = 499;
constexpr size_t kSectionBuffer = 500;

struct Line {
    const char* text;
    size_t length;
};

Line Trimmed(const char* text, size_t length)
{
    while (length > 0 && (*text == ' ' || *text == '\t')) {
        ++text;
        --length;
    }
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    return {text, length};
}

bool SameName(Line name, const char* wanted)
{
    return name.length == strlen(wanted) && StartsWithNoCase(name.text, name.length, wanted);
}

// The value as GetPrivateProfileString gives it: quotes around it dropped, cut to the limit.
std::string ValueText(Line value)
{
    if (value.length >= 2 && value.text[0] == '"' && value.text[value.length - 1] == '"')
        value = {value.text + 1, value.length - 2};
    return std::string(value.text, value.length < kValueLimit ? value.length : kValueLimit);
}

class ControlFileReader {
public:
    explicit ControlFileReader(MmsControlFields& fields) : fields_(fields) {}

    void SectionLine(Line line)
    {
        const char* close = static_cast<const char*>(memchr(line.text, ']', line.length));
        Line name = Trimmed(line.text + 1, (close ? close : line.text + line.length) - line.text - 1);
        section_ = None;
        if (SameName(name, "Routing") && !routingSeen_) {
            section_ = Routing;
            routingSeen_ = true;
        } else if (SameName(name, "Recipients") && !recipientsSeen_) {
            section_ = Recipients;
            recipientsSeen_ = true;
        }
    }

    void KeyLine(Line line)
    {
        const char* equals = static_cast<const char*>(memchr(line.text, '=', line.length));
        Line key = Trimmed(line.text, equals ? static_cast<size_t>(equals - line.text) : line.length);
        Line value = equals ? Trimmed(equals + 1, line.length - (equals + 1 - line.text)) : Line{"", 0};
        if (section_ == Recipients) {
            recipients_.append(key.text, key.length);
            if (equals) {
                recipients_ += '=';
                recipients_.append(value.text, value.length);
            }
            recipients_ += '\0';
            return;
        }
        if (section_ != Routing || !equals)
            return;
        struct Wanted {
            const char* name;
            std::string* field;
            bool* seen;
        };
        const Wanted wanted[] = {
            {"SenderAddress", &fields_.sender, &senderSeen_},
            {"RetryCount", &fields_.retryCount, &retrySeen_},
            {"LastErrorInfo", &fields_.lastError, &errorSeen_},
        };
        for (const Wanted& w : wanted) {
            if (SameName(key, w.name) && !*w.seen) {
                *w.seen = true;
                *w.field = ValueText(value);
            }
        }
    }

    void Finish()
    {
        // A section too long for the buffer keeps what fits and still ends with two NULs.
        if (recipients_.size() + 1 > kSectionBuffer) {
            recipients_.resize(kSectionBuffer - 2);
            recipients_ += '\0';
        }
        fields_.recipients = recipients_ + '\0';
    }

private:
    enum Section { None, Routing, Recipients };
    MmsControlFields& fields_;
    Section section_ = None;
    bool routingSeen_ = false, recipientsSeen_ = false;
    bool senderSeen_ = false, retrySeen_ = false, errorSeen_ = false;
    std::string recipients_;
};

} // namespace

void ParseMmsControlFile(const char* bytes, size_t length, MmsControlFields& fields)
{
    fields = MmsControlFields();
    if (!bytes)
        length = 0;
    const void* nul = length ? memchr(bytes, '\0', length) : nullptr;
    if (nul)
        length = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
    size_t start = 0;
    if (length >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0)
        start = 3; // a UTF-8 byte order mark
    ControlFileReader reader(fields);
    while (start < length) {
        size_t end = start;
        while (end < length && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        Line line = Trimmed(bytes + start, end - start);
        if (line.length > 0 && line.text[0] == '[')
            reader.SectionLine(line);
        else if (line.length > 0)
            reader.KeyLine(line);
        start = end + 1;
    }
    reader.Finish();
}
