// ChooseOperatorSettings: the library's own dialog over the generated table of the mobile
// operators' MMS access points. The lists come from OperatorCatalog (operator_catalog.cpp);
// this file only moves them in and out of the controls.
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/operator_catalog.h"
#include "gateway/gwcore/operator_dialog_ids.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using operators::OperatorAccessPoint;

struct OperatorDialog {
    operators::OperatorCatalog catalog{operators::kAccessPoints, operators::kAccessPointCount};
    std::vector<std::string> operatorNames;
    std::vector<const OperatorAccessPoint*> points;
    const OperatorAccessPoint* chosen = nullptr;
};

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

OperatorDialog* StateOf(HWND dialog)
{
    return reinterpret_cast<OperatorDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void FillList(HWND control, UINT resetMessage, UINT addMessage, const std::vector<std::string>& items)
{
    SendMessageA(control, resetMessage, 0, 0);
    for (const std::string& item : items)
        SendMessageA(control, addMessage, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

int Selection(HWND dialog, int id, UINT message)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, message, 0, 0));
}

// A chosen access point shows its settings and enables OK; none clears both.
void ShowAccessPoint(HWND dialog, const OperatorAccessPoint* point)
{
    StateOf(dialog)->chosen = point;
    SetDlgItemTextA(dialog, IDC_OPERATOR_DETAILS, point ? operators::DescribeAccessPoint(*point).c_str() : "");
    EnableWindow(GetDlgItem(dialog, IDOK), point != nullptr);
}

void OnAccessPointChanged(HWND dialog)
{
    OperatorDialog* state = StateOf(dialog);
    int index = Selection(dialog, IDC_OPERATOR_ACCESS_POINT, LB_GETCURSEL);
    bool valid = index >= 0 && static_cast<size_t>(index) < state->points.size();
    ShowAccessPoint(dialog, valid ? state->points[static_cast<size_t>(index)] : nullptr);
}

// An operator with a single access point has it chosen at once.
void OnOperatorChanged(HWND dialog)
{
    OperatorDialog* state = StateOf(dialog);
    int country = Selection(dialog, IDC_OPERATOR_COUNTRY, CB_GETCURSEL);
    int index = Selection(dialog, IDC_OPERATOR_NAME, CB_GETCURSEL);
    state->points.clear();
    if (index >= 0 && static_cast<size_t>(index) < state->operatorNames.size())
        state->points = state->catalog.AccessPoints(country, state->operatorNames[static_cast<size_t>(index)]);
    HWND list = GetDlgItem(dialog, IDC_OPERATOR_ACCESS_POINT);
    FillList(list, LB_RESETCONTENT, LB_ADDSTRING, operators::AccessPointLabels(state->points));
    SendMessageA(list, LB_SETCURSEL, state->points.size() == 1 ? 0 : static_cast<WPARAM>(-1), 0);
    OnAccessPointChanged(dialog);
}

// The first operator of a country is chosen at once.
void OnCountryChanged(HWND dialog)
{
    OperatorDialog* state = StateOf(dialog);
    state->operatorNames = state->catalog.Operators(Selection(dialog, IDC_OPERATOR_COUNTRY, CB_GETCURSEL));
    HWND combo = GetDlgItem(dialog, IDC_OPERATOR_NAME);
    FillList(combo, CB_RESETCONTENT, CB_ADDSTRING, state->operatorNames);
    SendMessageA(combo, CB_SETCURSEL, state->operatorNames.empty() ? static_cast<WPARAM>(-1) : 0, 0);
    OnOperatorChanged(dialog);
}

// Starts at the country of the user's regional settings, when the table knows it.
void OnInit(HWND dialog, OperatorDialog* state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    HWND combo = GetDlgItem(dialog, IDC_OPERATOR_COUNTRY);
    FillList(combo, CB_RESETCONTENT, CB_ADDSTRING, state->catalog.Countries());
    char code[16] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, code, sizeof code);
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(state->catalog.CountryByCode(code)), 0);
    OnCountryChanged(dialog);
}

void OnCommand(HWND dialog, WORD id, WORD notification)
{
    switch (id) {
    case IDC_OPERATOR_COUNTRY:
        if (notification == CBN_SELCHANGE)
            OnCountryChanged(dialog);
        break;
    case IDC_OPERATOR_NAME:
        if (notification == CBN_SELCHANGE)
            OnOperatorChanged(dialog);
        break;
    case IDC_OPERATOR_ACCESS_POINT:
        if (notification == LBN_SELCHANGE)
            OnAccessPointChanged(dialog);
        else if (notification == LBN_DBLCLK && StateOf(dialog)->chosen)
            EndDialog(dialog, IDOK);
        break;
    case IDOK:
        if (StateOf(dialog)->chosen)
            EndDialog(dialog, IDOK);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    }
}

INT_PTR CALLBACK OperatorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<OperatorDialog*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

BOOL WINAPI ChooseOperatorSettings(HWND owner, LPSTR apn, LPSTR apnLogin, LPSTR apnPassword, LPSTR mmsProxy,
                                   LPSTR mmsUrl)
{
    if (!apn || !apnLogin || !apnPassword || !mmsProxy || !mmsUrl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    OperatorDialog state;
    INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(IDD_OPERATOR_SETTINGS), owner, OperatorDialogProc,
                                     reinterpret_cast<LPARAM>(&state));
    if (result != IDOK || !state.chosen)
        return FALSE;
    operators::OperatorSettings settings = operators::SettingsOf(*state.chosen);
    memcpy(apn, settings.apn, sizeof settings.apn);
    memcpy(apnLogin, settings.apnLogin, sizeof settings.apnLogin);
    memcpy(apnPassword, settings.apnPassword, sizeof settings.apnPassword);
    memcpy(mmsProxy, settings.mmsProxy, sizeof settings.mmsProxy);
    memcpy(mmsUrl, settings.mmsUrl, sizeof settings.mmsUrl);
    return TRUE;
}
