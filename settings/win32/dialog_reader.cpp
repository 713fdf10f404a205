#include "settings/win32/dialog_reader.h"

namespace {

HWND dialog_of(const void* context)
{
    return static_cast<HWND>(const_cast<void*>(context));
}

void dialog_text(const void* context, int id, char* buffer, size_t capacity)
{
    if (capacity == 0)
        return;
    buffer[0] = 0;
    int limit = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
    GetDlgItemTextA(dialog_of(context), id, buffer, limit);
    buffer[capacity - 1] = 0;
}

bool dialog_check(const void* context, int id)
{
    return IsDlgButtonChecked(dialog_of(context), id) == BST_CHECKED;
}

int dialog_selection(const void* context, int id)
{
    LRESULT selected = SendDlgItemMessageA(dialog_of(context), id, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

}  // namespace

ControlReader dialog_reader(HWND dialog)
{
    ControlReader reader;
    reader.context = dialog;
    reader.get_text = dialog_text;
    reader.get_check = dialog_check;
    reader.get_selection = dialog_selection;
    return reader;
}
