// The per-user settings of the show and their dialog. Values are REG_DWORD: Interval (seconds),
// Order, Fit, Transition (the show's own numbers) and Music (0 or 1).
#include "saver/settings.h"

#include "saver/payload.h"
#include "saver/resource.h"

static const char kSettingsRoot[] = "Software\\ssinstaller";
static const char* const kValueNames[] = {"Interval", "Order", "Fit", "Transition", "Music"};

static char KeyPath[sizeof kSettingsRoot + kSaverNameSize + 1];  // 150 bytes: the saver's key
static const char* DialogName;                                   // the dialog's caption
static ShowSettings DialogValues;  // what the dialog shows and, on OK, stores

static const char* SettingsKey(const char* name) {
    lstrcpynA(KeyPath, kSettingsRoot, sizeof KeyPath);
    lstrcatA(KeyPath, "\\");
    lstrcatA(KeyPath, name);  // the name has at most kSaverNameSize - 1 characters
    return KeyPath;
}

static int64_t ReadValue(HKEY key, const char* value_name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return -1;
    return value;
}

ShowSettings LoadShowSettings(const char* name) {
    ShowSettings settings = SettingsOfShow(&Show);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey(name), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return settings;
    StoredSettings stored = {ReadValue(key, kValueNames[0]), ReadValue(key, kValueNames[1]),
                             ReadValue(key, kValueNames[2]), ReadValue(key, kValueNames[3]),
                             ReadValue(key, kValueNames[4])};
    RegCloseKey(key);
    ApplyStoredSettings(&stored, &settings);
    if (Show.music_count == 0) settings.music = 0;
    return settings;
}

static int StoreSettings(const char* name, const ShowSettings& settings) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey(name), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 0;
    const DWORD values[] = {settings.interval_ms / 1000, settings.order, settings.fit,
                            settings.transition, settings.music};
    int ok = 1;
    for (int i = 0; i < 5; ++i)
        ok &= RegSetValueExA(key, kValueNames[i], 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&values[i]),
                             sizeof values[i]) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void DeleteShowSettings(const char* name) {
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey(name));
    // The shared key goes when no other saver keeps settings in it (Windows refuses otherwise).
    HKEY root;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsRoot, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0, values = 0;
    const LONG info = RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                       &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(root);
    if (info == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsRoot);
}

static void FillChoices(HWND dialog, int control, const char* const* texts, int count, int chosen) {
    for (int i = 0; i < count; ++i)
        SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
    SendDlgItemMessageA(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

static uint8_t Chosen(HWND dialog, int control, uint8_t fallback) {
    const LRESULT i = SendDlgItemMessageA(dialog, control, CB_GETCURSEL, 0, 0);
    return i >= 0 ? static_cast<uint8_t>(i) : fallback;
}

static void InitDialog(HWND dialog) {
    static const char* const orders[] = {"In order", "At random"};
    static const char* const fits[] = {"Whole picture", "Fill the screen", "Stretch",
                                       "Actual size"};
    static const char* const transitions[] = {"None", "Fade", "Wipe", "Slide"};
    SetWindowTextA(dialog, DialogName);
    SetDlgItemInt(dialog, IDC_INTERVAL, DialogValues.interval_ms / 1000, FALSE);
    SendDlgItemMessageA(dialog, IDC_INTERVAL, EM_LIMITTEXT, 4, 0);
    FillChoices(dialog, IDC_ORDER, orders, 2, DialogValues.order);
    FillChoices(dialog, IDC_FIT, fits, 4, DialogValues.fit);
    FillChoices(dialog, IDC_TRANSITION, transitions, 4, DialogValues.transition);
    CheckDlgButton(dialog, IDC_MUSIC, DialogValues.music ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_MUSIC), Show.music_count > 0);
}

// Takes the dialog's values; 0 (and the interval field selected) when the interval is out of
// its range.
static int TakeValues(HWND dialog) {
    BOOL read = FALSE;
    const UINT seconds = GetDlgItemInt(dialog, IDC_INTERVAL, &read, FALSE);
    StoredSettings chosen = {read ? static_cast<int64_t>(seconds) : -1,
                             Chosen(dialog, IDC_ORDER, DialogValues.order),
                             Chosen(dialog, IDC_FIT, DialogValues.fit),
                             Chosen(dialog, IDC_TRANSITION, DialogValues.transition),
                             IsDlgButtonChecked(dialog, IDC_MUSIC) == BST_CHECKED};
    if (!read || seconds < kShowMinIntervalMs / 1000 || seconds > kShowMaxIntervalMs / 1000) {
        MessageBeep(MB_ICONEXCLAMATION);
        SendDlgItemMessageA(dialog, IDC_INTERVAL, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dialog, IDC_INTERVAL));
        return 0;
    }
    ApplyStoredSettings(&chosen, &DialogValues);
    return 1;
}

static INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            InitDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK && TakeValues(dialog)) {
                EndDialog(dialog, StoreSettings(DialogName, DialogValues));
            } else if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

int RunSettingsDialog(HINSTANCE instance, HWND owner, const char* name) {
    DialogName = name;
    DialogValues = LoadShowSettings(name);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsProc, 0) == 1;
}
