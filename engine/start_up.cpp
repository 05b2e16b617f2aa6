// Start-up, steps 1 to 3.
#include "start_up.h"

#include "dialogs.h"
#include "program_folder.h"

namespace kestova {

StartUpState StartUp(Dialogs &dialogs)
{
    StartUpState state;
    state.settings = Settings::Load();
    state.store = PhotoStore::Open(DataMdbPath());
    if (!state.store) {
        dialogs.ShowMessage(QStringLiteral("数据库连接失败，请检查数据库是否存在！"), QStringLiteral("提示"),
                            MessageIcon::Information, MessageButtons::Ok);
    }
    return state;
}

} // namespace kestova
