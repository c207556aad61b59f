// The host table: the nine hosts in recognition order with the factories of their add-ins.
#include "addin/uOfficeApps.h"

#include "addin/uAccessAddin.h"
#include "addin/uExcelAddin.h"
#include "addin/uInfoPathAddin.h"
#include "addin/uOneNoteAddin.h"
#include "addin/uPowerPointAddin.h"
#include "addin/uProjectAddin.h"
#include "addin/uPublisherAddin.h"
#include "addin/uVisioAddin.h"
#include "addin/uWordAddin.h"

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
