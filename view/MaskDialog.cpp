#include "view/MaskDialog.h"

#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "resources/resource.h"

namespace {

void FillHistory(HWND combo)
{
    SendMessageA(combo, CB_LIMITTEXT, MAX_PATH - 1, 0);
    if (const CReg* settings = Settings())
        for (const std::string& mask : settings->m_masks)
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mask.c_str()));
}

INT_PTR CALLBACK MaskDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        FillHistory(GetDlgItem(dialog, IDC_MASK_COMBO));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (LOWORD(wParam) != IDOK) return FALSE;
    auto* mask = reinterpret_cast<char*>(GetWindowLongPtrA(dialog, DWLP_USER));
    GetDlgItemTextA(dialog, IDC_MASK_COMBO, mask, MAX_PATH);
    if (!mask[0]) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (CReg* settings = Settings()) settings->rememberMask(mask);
    EndDialog(dialog, IDOK);
    return TRUE;
}

}  // namespace

bool RunMaskDialog(HWND owner, char* mask)
{
    mask[0] = '\0';
    return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_MASK), owner, MaskDialogProc,
                           reinterpret_cast<LPARAM>(mask)) == IDOK;
}
