#include "app/ProgramValues.h"

QVariant Comm;
QVariant LimitUp;
QVariant LimitDown;
