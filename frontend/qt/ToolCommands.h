#pragma once

#include <QWidget>

#include "common/Messenger.h"
#include "frontend/FrontEndServices.h"

namespace ombrel {

// Tools > "&Convert CHO to CHS...": the "Convert .CHO to .CHS" dialog (no owner window), then the
// conversion under a wait cursor and its messages.
void RunConverterCommand(Messenger& messenger, FilePicker& filePicker);

// Tools > "&Tie Draws...": the "Tie Draws" dialog, the tool under a wait cursor, and its "Results".
void RunTieDrawsCommand(QWidget* owner, Messenger& messenger, FilePicker& filePicker);

}  // namespace ombrel
