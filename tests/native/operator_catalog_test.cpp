// The operator dialog's lists: grouping and sorting, labels that tell access points apart,
// the cut to the callers' buffers, and the table generated from the operator database.
#include "gateway/gwcore/operator_catalog.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace operators;

namespace {

using Texts = std::vector<std::string>;

const OperatorAccessPoint kRows[] = {
    {"se", "Sweden", "Telia", "Telia MMS", "mms.telia.se", "", "", "http://mmss", "193.209.134.132:80"},
    {"ae", "United Arab Emirates", "du", "du MMS", "du", "", "", "http://mms.du.ae", "10.19.18.4:8080"},
    {"ae", "United Arab Emirates", "Etisalat", "etisalat MMS", "etisalat", "", "", "http://a/mms", "10.12.0.30:8080"},
    {"se", "Sweden", "Comviq", "", "mms.comviq.se", "u", "p", "http://mmsc", ""},
    {"ae", "United Arab Emirates", "Etisalat", "Etisalat MMS", "etisalat", "", "", "http://b/mms", "10.12.0.32:8080"},
    {"ad", "Andorra", "Andorra Telecom", "Andorra MMS", "mms", "", "", "http://mms.ad/mmsc", ""},
    {"se", "Sweden", "Telia", "Telia MMS 2", "mms2.telia.se", "", "", "http://mms2", ""},
};

Texts LabelsOf(const OperatorCatalog& catalog, int country, const char* operatorName)
{
    return AccessPointLabels(catalog.AccessPoints(country, operatorName));
}

} // namespace

TEST(OperatorCatalog, GroupsSortsAndLooksUp)
{
    OperatorCatalog catalog(kRows, sizeof kRows / sizeof kRows[0]);
    EXPECT_EQ(catalog.Countries(), (Texts{"Andorra", "Sweden", "United Arab Emirates"}));
    struct Case {
        const char* code;
        int country;
        Texts operators;
    } cases[] = {
        {"SE", 1, {"Comviq", "Telia"}},
        {"ae", 2, {"du", "Etisalat"}},
        {"ad", 0, {"Andorra Telecom"}},
        {"us", -1, {}},
        {"", -1, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(catalog.CountryByCode(c.code), c.country) << c.code;
        EXPECT_EQ(catalog.Operators(c.country), c.operators) << c.code;
    }
    EXPECT_TRUE(catalog.Operators(3).empty());
    EXPECT_TRUE(catalog.AccessPoints(7, "Telia").empty());
}

TEST(OperatorCatalog, LabelsTellTheAccessPointsApart)
{
    OperatorCatalog catalog(kRows, sizeof kRows / sizeof kRows[0]);
    EXPECT_EQ(LabelsOf(catalog, 1, "Telia"), (Texts{"Telia MMS", "Telia MMS 2"})) << "table order";
    EXPECT_EQ(LabelsOf(catalog, 1, "Comviq"), (Texts{"mms.comviq.se"})) << "no name: the APN";
    EXPECT_EQ(LabelsOf(catalog, 2, "etisalat"), (Texts{"etisalat MMS - http://a/mms", "Etisalat MMS - http://b/mms"}));
    EXPECT_TRUE(LabelsOf(catalog, 2, "Telia").empty()) << "an operator of another country";
}

TEST(OperatorCatalog, SettingsAreCutToTheBuffers)
{
    const std::string longUrl = "http://" + std::string(200, 'm');
    OperatorAccessPoint point = {"xx", "X", "Op", "", "apn", "user", "", longUrl.c_str(), "10.0.0.1:8080"};
    OperatorSettings settings = SettingsOf(point);
    EXPECT_STREQ(settings.apn, "apn");
    EXPECT_STREQ(settings.apnLogin, "user");
    EXPECT_STREQ(settings.apnPassword, "");
    EXPECT_STREQ(settings.mmsProxy, "10.0.0.1:8080");
    EXPECT_EQ(std::string(settings.mmsUrl), longUrl.substr(0, kSettingSize - 1));
}

// The table generated from the operator database at build time.
TEST(OperatorTable, HoldsOnlyMmsAccessPointsWithTheirSettings)
{
    ASSERT_GT(kAccessPointCount, 100u);
    const OperatorAccessPoint* andorra = nullptr;
    for (size_t i = 0; i < kAccessPointCount; ++i) {
        const OperatorAccessPoint& row = kAccessPoints[i];
        EXPECT_TRUE(row.country[0] && row.operatorName[0] && row.apn[0]) << i;
        EXPECT_STRNE(row.apn, "internetclic") << "an internet access point was taken";
        if (strcmp(row.countryCode, "ad") == 0 && strcmp(row.apn, "mms") == 0)
            andorra = &row;
    }
    ASSERT_NE(andorra, nullptr);
    EXPECT_STREQ(andorra->country, "Andorra");
    EXPECT_STREQ(andorra->mmsc, "http://mms.ad/mmsc");
    EXPECT_STREQ(andorra->mmsProxy, "192.168.21.50:8080");
}
