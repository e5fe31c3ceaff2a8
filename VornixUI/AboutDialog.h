// The About box: product, version, the maker's notice and a link to the
// maker's web site, all on white.
#pragma once

#include "ModalDialog.h"

#include "common/Scoped.h"

namespace vx {

class AboutDialog : public ModalDialog {
  public:
    AboutDialog();

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) override;

  private:
    INT_PTR OnInitDialog();
    INT_PTR OnCtlColor(HDC dc, HWND control);
    INT_PTR OnCommand(WORD id, WORD code);
    bool OnSetCursor(HWND over);

    ScopedGdiLike<HGDIOBJ, DeleteObject> linkFont_;
};

} // namespace vx
