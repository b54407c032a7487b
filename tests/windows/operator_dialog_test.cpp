// GWCORE.DLL's operator settings dialog, worked from another thread as a person would:
// a chosen access point fills the five buffers, Cancel leaves them as they were.
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/operator_catalog.h"
#include "gateway/gwcore/operator_dialog_ids.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kCaption[] = "Operator MMS Settings";

HWND WaitForDialog()
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        // The window exists before its controls and its WM_INITDIALOG; it is shown after them.
        HWND dialog = FindWindowA(nullptr, kCaption);
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        Sleep(20);
    }
    return nullptr;
}

void Choose(HWND dialog, int id, UINT setMessage, WORD notification, int index)
{
    SendDlgItemMessageA(dialog, id, setMessage, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string ItemText(HWND dialog, int id, UINT getMessage, int index)
{
    char text[512] = "";
    SendDlgItemMessageA(dialog, id, getMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

struct Buffers {
    char apn[104], login[104], password[104], proxy[104], url[104];
    Buffers() { memset(this, '#', sizeof *this); }
    BOOL Choose() { return ChooseOperatorSettings(nullptr, apn, login, password, proxy, url); }
};

} // namespace

TEST(OperatorDialog, OkFillsTheBuffersAndCancelLeavesThem)
{
    // The first access point of the first operator of the first country.
    operators::OperatorCatalog catalog(operators::kAccessPoints, operators::kAccessPointCount);
    ASSERT_FALSE(catalog.Countries().empty());
    std::vector<std::string> operatorNames = catalog.Operators(0);
    ASSERT_FALSE(operatorNames.empty());
    const operators::OperatorAccessPoint* expected = catalog.AccessPoints(0, operatorNames[0]).at(0);

    Buffers chosen;
    std::string country, operatorName;
    std::thread person([&] {
        HWND dialog = WaitForDialog();
        if (!dialog)
            return;
        Choose(dialog, IDC_OPERATOR_COUNTRY, CB_SETCURSEL, CBN_SELCHANGE, 0);
        country = ItemText(dialog, IDC_OPERATOR_COUNTRY, CB_GETLBTEXT, 0);
        operatorName = ItemText(dialog, IDC_OPERATOR_NAME, CB_GETLBTEXT, 0);
        Choose(dialog, IDC_OPERATOR_ACCESS_POINT, LB_SETCURSEL, LBN_SELCHANGE, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_TRUE(chosen.Choose());
    person.join();
    EXPECT_EQ(country, catalog.Countries()[0]);
    EXPECT_EQ(operatorName, operatorNames[0]);
    EXPECT_STREQ(chosen.apn, expected->apn);
    EXPECT_STREQ(chosen.login, expected->username);
    EXPECT_STREQ(chosen.password, expected->password);
    EXPECT_STREQ(chosen.proxy, expected->mmsProxy);
    EXPECT_STREQ(chosen.url, expected->mmsc);

    Buffers untouched;
    std::thread cancel([] {
        if (HWND dialog = WaitForDialog()) {
            Choose(dialog, IDC_OPERATOR_COUNTRY, CB_SETCURSEL, CBN_SELCHANGE, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
    });
    EXPECT_FALSE(untouched.Choose());
    cancel.join();
    EXPECT_EQ(std::string(untouched.apn, sizeof untouched.apn), std::string(sizeof untouched.apn, '#'));
    EXPECT_EQ(std::string(untouched.url, sizeof untouched.url), std::string(sizeof untouched.url, '#'));
}
