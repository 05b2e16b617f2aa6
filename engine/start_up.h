// The first three steps of start-up: read the settings, open the store, and
// when the store cannot be opened tell the user and give up.
#pragma once

#include "photo_store.h"
#include "settings.h"

#include <memory>

namespace kestova {

class Dialogs;

struct StartUpState {
    Settings settings;
    std::unique_ptr<PhotoStore> store; // null: the program must end
};

StartUpState StartUp(Dialogs &dialogs);

} // namespace kestova
