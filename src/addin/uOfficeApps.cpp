// The host table: the nine hosts in recognition order with the factories of their add-ins.
#include "uOfficeApps.h"

#include "uAccessAddin.h"
#include "uExcelAddin.h"
#include "uInfoPathAddin.h"
#include "uOneNoteAddin.h"
#include "uPowerPointAddin.h"
#include "uProjectAddin.h"
#include "uPublisherAddin.h"
#include "uVisioAddin.h"
#include "uWordAddin.h"

namespace qs {

namespace {

template <typename TAddin> std::unique_ptr<TGenericAddin> CreateAddin(IDispatch* Application) {
    return std::make_unique<TAddin>(Application);
}

} // namespace

const std::array<TOfficeAppInfo, 9>& OfficeApps() {
    static const std::array<TOfficeAppInfo, 9> apps = {{
        {TOfficeAppKind::oaExcel, kExcelApplicationIID, &CreateAddin<TExcelAddin>},
        {TOfficeAppKind::oaOneNote, kOneNoteApplicationIID, &CreateAddin<TOneNoteAddin>},
        {TOfficeAppKind::oaPowerPoint, kPowerPointApplicationIID, &CreateAddin<TPowerPointAddin>},
        {TOfficeAppKind::oaWord, kWordApplicationIID, &CreateAddin<TWordAddin>},
        {TOfficeAppKind::oaPublisher, kPublisherApplicationIID, &CreateAddin<TPublisherAddin>},
        {TOfficeAppKind::oaAccess, kAccessApplicationIID, &CreateAddin<TAccessAddin>},
        {TOfficeAppKind::oaInfoPath, kInfoPathApplicationIID, &CreateAddin<TInfoPathAddin>},
        {TOfficeAppKind::oaVisio, kVisioApplicationIID, &CreateAddin<TVisioAddin>},
        {TOfficeAppKind::caProject, kProjectApplicationIID, &CreateAddin<TProjectAddin>},
    }};
    return apps;
}

} // namespace qs
