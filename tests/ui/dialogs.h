#ifndef CALLMGR_TESTS_UI_DIALOGS_H
#define CALLMGR_TESTS_UI_DIALOGS_H

#include "support/instance.h"

#include <windows.h>
#include <paldriver.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

/* Dialog `id` of the library's resources, shown and active, procedure-less. */
inline HWND make_plain_dialog(int id)
{
    HWND dlg = CreateDialogParamA(
        resource_instance(), MAKEINTRESOURCEA(id), nullptr,
        [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; }, 0);
    if (dlg) {
        ShowWindow(dlg, SW_SHOW);
        SetActiveWindow(dlg);
    }
    return dlg;
}

inline std::vector<int> list_flags(HWND list)
{
    std::vector<int> out;
    LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
        out.push_back((int)SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0));
    return out;
}

inline bool enabled(HWND dlg, int id)
{
    return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE;
}

/* What a person does in a row of modal dialogs: each step names the
 * dialog it expects in front (its template id, 0 for a message box) and
 * acts on it once, from the modal loops' idle hook. */
class DialogScript {
  public:
    DialogScript &on(int dialog, std::string what, std::function<bool(HWND)> act)
    {
        steps_.push_back({dialog, std::move(what), std::move(act)});
        return *this;
    }

    /* Runs `body`, which opens the first dialog; fails when a step meets
     * another dialog, a dialog outlives the script, or steps are left. */
    void run(const std::function<void()> &body)
    {
        next_ = 0;
        overrun_ = false;
        PalOnModalIdle([this](HWND dlg) { return step(dlg); });
        body();
        PalClearModalIdle();
        EXPECT_EQ(steps_.size(), next_) << "steps left: the dialogs ended early";
    }

  private:
    struct Step {
        int dialog;
        std::string what;
        std::function<bool(HWND)> act;
    };

    bool step(HWND dlg)
    {
        int id = PalDialogResourceId(dlg);
        if (next_ >= steps_.size()) {
            /* Once: an ended dialog stays until the loop that runs it is
             * back, which a wait nested inside it may delay. */
            if (!overrun_) {
                overrun_ = true;
                ADD_FAILURE() << "dialog " << id << " still open after the script";
                EndDialog(dlg, 0);
            }
            return false;
        }
        const Step &s = steps_[next_++];
        if (s.dialog != id) {
            ADD_FAILURE() << "step '" << s.what << "' expected dialog " << s.dialog << ", met "
                          << id;
            next_ = steps_.size();
            EndDialog(dlg, 0);
            return true;
        }
        EXPECT_TRUE(s.act(dlg)) << "step '" << s.what << "' could not be done";
        return true;
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    bool overrun_ = false;
};

#endif
