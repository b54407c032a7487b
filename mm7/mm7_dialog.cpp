// The "Configure MM7 or PHP Receiver" dialog: moves the MM7 connection's settings between
// its controls and Mm7Settings, and before it saves proves that the server can be reached
// (and, for https, that its certificate verifies).
#include "mm7/mm7_dialog.h"

#include <winsock2.h>

#include <string>

#include "app/addon_libraries.h"
#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "gateway/gwcore/gwcore.h"
#include "mm7/mm7_connection_check.h"
#include "mm7/mm7_settings.h"
#include "resources/mm7_dialog_ids.h"

namespace {

// TLSLINK.DLL's client session that also checks the certificate's names against the host.

// The controls the PHP upload does not use, hidden while it is chosen.
const int kMm7OnlyControls[] = {
    IDC_MM7_USER,
    IDC_MM7_USER_LABEL,
    IDC_MM7_PASSWORD,
    IDC_MM7_PASSWORD_LABEL,
    IDC_MM7_VASP_ID,
    IDC_MM7_VASP_ID_LABEL,
    IDC_MM7_VAS_ID,
    IDC_MM7_VAS_ID_LABEL,
    IDC_MM7_SERVICE_CODE,
    IDC_MM7_SERVICE_CODE_LABEL,
    IDC_MM7_VERSION,
    IDC_MM7_VERSION_LABEL,
    IDC_MM7_SCHEMA,
    IDC_MM7_SCHEMA_LABEL,
    IDC_MM7_STRIP_WHITE_SPACE,
};

// The server check over the support library's sockets and TLSLINK.DLL.
class GatewayNetwork final : public Mm7Network {
public:
    ~GatewayNetwork() override { CloseSocket(); }

    bool OpenSocket() override
    {
        socket_ = IPV6OpenSocket(0, 0);
        return socket_ != INVALID_SOCKET;
    }
    bool Connect(const std::string& host, unsigned port) override
    {
        return IPV6ConnectToINetServer(socket_, host.c_str(), static_cast<int>(port)) == 0;
    }
    bool TlsUsable() override
    {
        // Only a library that verifies the server certificate is used.
        link_ = LoadTlsLink();
        return link_ && link_->sslInitSessionHost && link_->sslInitLib();
    }
    bool Handshake(const std::string& certificateHost, std::string& failure) override
    {
        // A server that accepts and then says nothing must not hold the dialog for ever.
        DWORD timeout = Mm7ConnectionTiming().handshakeTimeoutMs;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        char errorText[kTlsErrorTextSize] = "";
        TlsSession session = link_->sslInitSessionHost(socket_, certificateHost.c_str(), errorText);
        if (!session) {
            failure = errorText;
            return false;
        }
        link_->sslFreeSession(session);
        return true;
    }
    void CloseSocket() override
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    const TlsLink* link_ = nullptr;
};

std::string ConnectionDirectory()
{
    return RouteFolder(kMm7ConnectionName);
}

// Creates VASPOUT\qelsmslitemm7 and an empty VASP.INI where they are missing.
bool PrepareConnectionFile(const std::string& directory)
{
    std::string outbound = directory.substr(0, directory.rfind('\\', directory.size() - 2));
    for (const std::string& folder : {outbound, directory.substr(0, directory.size() - 1)}) {
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    std::string file = directory + kVaspFileName;
    HANDLE created = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE)
        CloseHandle(created);
    return PathExists(file.c_str());
}

ProfileIniStore ConnectionIni()
{
    return ProfileIniStore(ConnectionDirectory() + kVaspFileName);
}

// The rows of the version and schema lists, kept here: the lists only show them.
ShownRows versionRows(IDC_MM7_VERSION, true);
ShownRows schemaRows(IDC_MM7_SCHEMA, true);

ShownRows& RowsOf(int id)
{
    return id == IDC_MM7_VERSION ? versionRows : schemaRows;
}

void FillList(HWND dialog, int id, const char* text)
{
    if (id == IDC_MM7_VARIATION)
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    else
        RowsOf(id).Add(dialog, text);
}

// Selects the entry that equals text (in any letter case), adding it at the end first when
// the list lacks it.
void SelectEntry(HWND dialog, int id, const std::string& text)
{
    LRESULT index = SendDlgItemMessageA(dialog, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (index == CB_ERR)
        index = RowsOf(id).Add(dialog, text);
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string SelectedText(HWND dialog, int id)
{
    return RowsOf(id).Selected(dialog);
}

Mm7Variation ChosenVariation(HWND dialog)
{
    LRESULT index = SendDlgItemMessageA(dialog, IDC_MM7_VARIATION, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? Mm7Variation::Standard : static_cast<Mm7Variation>(index);
}

void ApplyVisibility(HWND dialog)
{
    int show = ChosenVariation(dialog) == Mm7Variation::PhpUpload ? SW_HIDE : SW_SHOW;
    for (int id : kMm7OnlyControls)
        ShowWindow(GetDlgItem(dialog, id), show);
}

void OnInit(HWND dialog)
{
    SetProgramIcon(dialog);
    versionRows.Clear(dialog);
    schemaRows.Clear(dialog);
    for (const char* name : kMm7VariationNames)
        FillList(dialog, IDC_MM7_VARIATION, name);
    for (const char* version : kMm7Versions)
        FillList(dialog, IDC_MM7_VERSION, version);
    for (const char* schema : kMm7Schemas)
        FillList(dialog, IDC_MM7_SCHEMA, schema);

    ProfileIniStore vasp = ConnectionIni();
    Mm7Settings settings = LoadMm7Settings(vasp);
    SendDlgItemMessageA(dialog, IDC_MM7_VARIATION, CB_SETCURSEL, static_cast<WPARAM>(settings.variation), 0);
    SetItemText(dialog, IDC_MM7_URL, settings.server);
    SetItemText(dialog, IDC_MM7_VASP_ID, settings.vaspId);
    SetItemText(dialog, IDC_MM7_VAS_ID, settings.vasId);
    SetItemText(dialog, IDC_MM7_SERVICE_CODE, settings.serviceCode);
    SetItemText(dialog, IDC_MM7_USER, settings.userName);
    SetItemText(dialog, IDC_MM7_PASSWORD, settings.password);
    SelectEntry(dialog, IDC_MM7_VERSION, settings.version);
    SelectEntry(dialog, IDC_MM7_SCHEMA, settings.schema);
    SetChecked(dialog, IDC_MM7_STRIP_WHITE_SPACE, settings.stripWhiteSpace);
    ApplyVisibility(dialog);
}

Mm7Settings SettingsFromControls(HWND dialog)
{
    Mm7Settings settings;
    settings.variation = ChosenVariation(dialog);
    settings.server = ItemText(dialog, IDC_MM7_URL);
    settings.vaspId = ItemText(dialog, IDC_MM7_VASP_ID);
    settings.vasId = ItemText(dialog, IDC_MM7_VAS_ID);
    settings.serviceCode = ItemText(dialog, IDC_MM7_SERVICE_CODE);
    settings.userName = ItemText(dialog, IDC_MM7_USER);
    settings.password = ItemText(dialog, IDC_MM7_PASSWORD);
    settings.version = SelectedText(dialog, IDC_MM7_VERSION);
    settings.schema = SelectedText(dialog, IDC_MM7_SCHEMA);
    settings.stripWhiteSpace = IsChecked(dialog, IDC_MM7_STRIP_WHITE_SPACE);
    return settings;
}

void Refuse(HWND dialog, const std::string& message)
{
    ShowMessage(dialog, message.c_str(), MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, IDC_MM7_URL));
}

void OnOk(HWND dialog)
{
    Mm7Settings settings = SettingsFromControls(dialog);
    Mm7CheckResult check;
    {
        WaitCursor busy;
        GatewayNetwork network;
        check = CheckMm7Server(settings.server, network);
    }
    if (!check.ok) {
        Refuse(dialog, check.message);
        return;
    }
    std::string directory = ConnectionDirectory();
    ProfileIniStore vasp = ConnectionIni();
    if (!PrepareConnectionFile(directory) || !SaveMm7Settings(settings, vasp)) {
        Refuse(dialog, "The MM7 settings could not be saved to " + vasp.Path());
        return;
    }
    EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, WORD id, WORD code)
{
    switch (id) {
    case IDC_MM7_VARIATION:
        if (code == CBN_SELCHANGE)
            ApplyVisibility(dialog);
        break;
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    }
}

INT_PTR CALLBACK Mm7DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

Mm7CheckTiming& Mm7ConnectionTiming()
{
    static Mm7CheckTiming timing;
    return timing;
}

bool OpenMm7Settings(HWND owner)
{
    return DialogBoxParamA(appInstance, "DIALOG_MM7", owner, Mm7DialogProc, 0) == 1;
}
