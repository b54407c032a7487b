// The operator dialog's lists over the generated table of MMS access points.
#include "gateway/gwcore/operator_catalog.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace operators {

namespace {

bool LessNoCase(const std::string& a, const std::string& b)
{
    return CompareNoCase(a.c_str(), b.c_str()) < 0;
}

// Sorts without regard to case and keeps one of each name.
void SortUnique(std::vector<std::string>& names)
{
    std::stable_sort(names.begin(), names.end(), LessNoCase);
    names.erase(std::unique(names.begin(), names.end(), EqualsNoCase), names.end());
}

void CopyCut(char (&buffer)[kSettingSize], const char* text)
{
    size_t length = text ? strnlen(text, kSettingSize - 1) : 0;
    memcpy(buffer, text ? text : "", length);
    memset(buffer + length, 0, kSettingSize - length);
}

std::string LabelOf(const OperatorAccessPoint& point)
{
    return point.name[0] ? point.name : point.apn;
}

} // namespace

OperatorSettings SettingsOf(const OperatorAccessPoint& point)
{
    OperatorSettings settings;
    CopyCut(settings.apn, point.apn);
    CopyCut(settings.apnLogin, point.username);
    CopyCut(settings.apnPassword, point.password);
    CopyCut(settings.mmsProxy, point.mmsProxy);
    CopyCut(settings.mmsUrl, point.mmsc);
    return settings;
}

OperatorCatalog::OperatorCatalog(const OperatorAccessPoint* rows, size_t count) : rows_(rows), count_(count)
{
    for (size_t i = 0; i < count_; ++i)
        countries_.push_back(rows_[i].country);
    SortUnique(countries_);
    countryCodes_.resize(countries_.size());
    for (size_t i = 0; i < count_; ++i) {
        auto at = std::lower_bound(countries_.begin(), countries_.end(), std::string(rows_[i].country), LessNoCase);
        std::string& code = countryCodes_[static_cast<size_t>(at - countries_.begin())];
        if (code.empty())
            code = rows_[i].countryCode;
    }
}

int OperatorCatalog::CountryByCode(const std::string& code) const
{
    if (code.empty())
        return -1;
    for (size_t i = 0; i < countryCodes_.size(); ++i) {
        if (EqualsNoCase(countryCodes_[i], code))
            return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> OperatorCatalog::Operators(int country) const
{
    std::vector<std::string> names;
    if (country < 0 || static_cast<size_t>(country) >= countries_.size())
        return names;
    const std::string& countryName = countries_[static_cast<size_t>(country)];
    for (size_t i = 0; i < count_; ++i) {
        if (EqualsNoCase(rows_[i].country, countryName))
            names.push_back(rows_[i].operatorName);
    }
    SortUnique(names);
    return names;
}

std::vector<const OperatorAccessPoint*> OperatorCatalog::AccessPoints(int country,
                                                                      const std::string& operatorName) const
{
    std::vector<const OperatorAccessPoint*> points;
    if (country < 0 || static_cast<size_t>(country) >= countries_.size())
        return points;
    const std::string& countryName = countries_[static_cast<size_t>(country)];
    for (size_t i = 0; i < count_; ++i) {
        if (EqualsNoCase(rows_[i].country, countryName) && EqualsNoCase(rows_[i].operatorName, operatorName))
            points.push_back(&rows_[i]);
    }
    return points;
}

std::vector<std::string> AccessPointLabels(const std::vector<const OperatorAccessPoint*>& points)
{
    std::vector<std::string> labels;
    for (const OperatorAccessPoint* point : points)
        labels.push_back(LabelOf(*point));
    for (size_t i = 0; i < points.size(); ++i) {
        size_t alike = std::count_if(points.begin(), points.end(), [&](const OperatorAccessPoint* other) {
            return EqualsNoCase(LabelOf(*other), LabelOf(*points[i]));
        });
        if (alike > 1 && points[i]->mmsc[0])
            labels[i] += std::string(" - ") + points[i]->mmsc;
    }
    return labels;
}

std::string DescribeAccessPoint(const OperatorAccessPoint& point)
{
    auto line = [](const char* label, const char* value) { return std::string(label) + (value[0] ? value : "-"); };
    return line("APN: ", point.apn) + "\r\n" + line("User name: ", point.username) + "\r\n" +
           line("Password: ", point.password) + "\r\n" + line("MMS proxy: ", point.mmsProxy) + "\r\n" +
           line("MMS URL: ", point.mmsc);
}

} // namespace operators
