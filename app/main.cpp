#include "app/frmTerminale.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmTerminale panel;
    panel.show();
    return app.exec();
}
