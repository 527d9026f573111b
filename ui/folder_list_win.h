// The folder list's file system on Windows.
#pragma once

#include "ui/folder_list.h"

namespace rewindor::ui {

FolderSource& NativeFolderSource();

}  // namespace rewindor::ui
