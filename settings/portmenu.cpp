#include "settings/portmenu.h"

#include "app/ProgramValues.h"
#include "app/frmTerminale.h"
#include "settings/frmCom.h"

void frmTerminale::mnuFilePort_Click()
{
    // Modal, but the nested loop keeps the panel's timers (clock, poll time-outs) ticking.
    frmCom dialog(this);
    dialog.exec();
}

bool askForPortIfNone(frmTerminale *window)
{
    if (!Comm.toString().isEmpty())
        return true;
    frmCom dialog(window);
    return dialog.exec() == QDialog::Accepted && !Comm.toString().isEmpty();
}
