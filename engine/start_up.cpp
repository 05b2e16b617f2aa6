// Start-up, steps 1 to 3.
#include "start_up.h"

#include "dialogs.h"
#include "program_folder.h"

namespace kestova {

StartUpState StartUp(Dialogs &dialogs)
{
    StartUpState state;
    state.settings = Settings::Load();
    state.store = PhotoStore::OpenOrTell(DataMdbPath(), dialogs);
    return state;
}

} // namespace kestova
