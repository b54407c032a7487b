// The mobile operators' MMS settings the operator dialog offers, and what the dialog does
// with them: the countries in alphabetical order, the operators of a country, the MMS
// access points of an operator with a label each, and the copy into the caller's buffers.
// Portable: no windows.h. The table itself is generated at build time from the
// mobile-broadband-provider-info database (tools/gen_operator_table.py).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace operators {

// One MMS access point of one operator. Every field is a Windows-1252 text, empty when
// the database gives none. mmsProxy carries its port ("10.0.0.1:8080") when it has one.
struct OperatorAccessPoint {
    const char* countryCode; // ISO 3166 code in lower case ("gb")
    const char* country;
    const char* operatorName;
    const char* name; // the access point's own name, may be empty
    const char* apn;
    const char* username;
    const char* password;
    const char* mmsc;
    const char* mmsProxy;
};

extern const OperatorAccessPoint kAccessPoints[];
extern const size_t kAccessPointCount;

// The size of each buffer ChooseOperatorSettings fills: 103 characters and the terminator.
constexpr size_t kSettingSize = 104;

// What the administrator's choice fills in, each value cut to kSettingSize - 1 characters.
struct OperatorSettings {
    char apn[kSettingSize];
    char apnLogin[kSettingSize];
    char apnPassword[kSettingSize];
    char mmsProxy[kSettingSize];
    char mmsUrl[kSettingSize];
};
OperatorSettings SettingsOf(const OperatorAccessPoint& point);

// The three lists of the dialog over one table (rows in any order).
class OperatorCatalog {
public:
    OperatorCatalog(const OperatorAccessPoint* rows, size_t count);

    // Country names, each once, sorted without regard to case.
    const std::vector<std::string>& Countries() const { return countries_; }
    // Index into Countries() of the country with that ISO code (any case), or -1.
    int CountryByCode(const std::string& code) const;
    // The operators of a country, each once, sorted without regard to case; empty for an
    // index out of range.
    std::vector<std::string> Operators(int country) const;
    // The operator's MMS access points, in the table's order.
    std::vector<const OperatorAccessPoint*> AccessPoints(int country, const std::string& operatorName) const;

private:
    const OperatorAccessPoint* rows_;
    size_t count_;
    std::vector<std::string> countries_;
    std::vector<std::string> countryCodes_;
};

// What the access point list shows for each point: its name, or its APN when it has none.
// Points whose labels would be alike get their MMSC added, so that each line can be told
// apart.
std::vector<std::string> AccessPointLabels(const std::vector<const OperatorAccessPoint*>& points);

// The settings of an access point as the dialog shows them, one per line ("\r\n").
std::string DescribeAccessPoint(const OperatorAccessPoint& point);

} // namespace operators
