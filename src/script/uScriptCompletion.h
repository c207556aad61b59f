// Completion for scripts: what the code editor lists after "Name." and on Ctrl+Space, and the tip of a
// call's parameters, from the script host's named objects, their type information and the constants
// of the exposed libraries. A chain such as Application.ActiveDocument.Paragraphs(1).Range follows
// each step's declared type; where a step is declared as a plain object or a variant it is read on the
// live object, but only a property get without arguments or an Item with literal arguments, never a
// method, only when a list is asked for, and within a time limit. UI thread only.
#pragma once

#include "script/uScriptHost.h"
#include "ui/uComCtrls.h"
#include "ui/uCompletion.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qs {

// One step of a member chain: a name, and the arguments of a call on it when brackets follow.
struct TChainStep {
    std::wstring Name;
    bool Call = false;
    std::vector<std::wstring> Args; // the argument texts, trimmed
};

// Parses the member chain that ends at the end of `text` ("Application.Documents(1).Range" gives three
// steps). False when the text does not end in a chain (a bracket without a name before it, a dot
// without a name after it, unbalanced brackets or quotes).
bool ParseMemberChain(std::wstring_view text, bool basic, std::vector<TChainStep>& steps);

// Reads an argument text as a literal: a decimal number, or a string in the grammar's quotes. False for
// anything else (a variable, an expression), which is never evaluated.
bool ParseLiteral(const std::wstring& text, bool basic, Variant& out);

// One member of a type as completion needs it.
struct TCompletionMember {
    std::wstring Name;
    MEMBERID MemId = DISPID_UNKNOWN;
    bool IsMethod = false;  // a method: never read while completing
    bool HasGetter = false; // a property get or a variable
    int GetterParams = 0;   // the parameters of the getter (or of the method)
    int RequiredParams = 0;
    int FuncIndex = -1; // the FUNCDESC that describes it (the getter when there is one); -1 for a variable
    int VarIndex = -1;
};

// The members of one type, read once: sorted by name without regard to case, with a lookup by name
// and the items of its list.
class TCompletionType {
public:
    explicit TCompletionType(ITypeInfo* info);
    ITypeInfo* Info() const noexcept { return m_info.Get(); }
    TYPEKIND Kind() const noexcept { return m_kind; }
    const std::vector<TCompletionMember>& Members() const noexcept { return m_members; }
    const std::vector<ui::TCompletionItem>& Items() const noexcept { return m_items; }
    const TCompletionMember* Find(const std::wstring& name) const;
    const TCompletionMember* DefaultMember() const;

private:
    Microsoft::WRL::ComPtr<ITypeInfo> m_info;
    TYPEKIND m_kind = TKIND_DISPATCH;
    std::vector<TCompletionMember> m_members;
    std::unordered_map<std::wstring, size_t> m_byName; // upper-case name
    std::vector<ui::TCompletionItem> m_items;
};

class TScriptCompletion : public ui::ICompletionProvider {
public:
    // Over the host's named objects and exposed libraries; the host must outlive the provider's use
    // (the frame that owns both takes the provider from its editor before the host goes).
    explicit TScriptCompletion(TScriptHost& host);
    ~TScriptCompletion();

    bool ListAt(const ui::TCodeEditorModel& model, ui::TTextPos caret, ui::TCompletionTrigger trigger,
                ui::TCompletionList& list) override;
    bool TipAt(const ui::TCodeEditorModel& model, ui::TTextPos open, ui::TParameterTip& tip) override;
    HIMAGELIST Images() override;

    // The members offered after `chain.`, reading live objects as described above. Null when the
    // chain leads to nothing with members. `readLive` false: declared types only.
    const TCompletionType* ResolveChain(const std::vector<TChainStep>& steps, bool basic, bool readLive);
    // The cached members of a type (read on first use).
    const TCompletionType* TypeOf(ITypeInfo* info);

    // True while the objects are busy (a script of the frame is running, paused in one of its boxes):
    // lists then follow declared types only and read nothing.
    std::function<bool()> Busy;

    // The total time live reads may take for one list; a read is not started once it is spent.
    void SetReadTimeLimit(std::chrono::milliseconds limit) noexcept { m_readLimit = limit; }
    // Live reads made so far (Invoke calls on the running objects), for tests.
    int LiveReads() const noexcept { return m_liveReads; }
    void ClearCache() noexcept;

private:
    class TResolver;
    friend class TResolver;
    // Names that stand on their own: named objects, members of global objects, library constants.
    void GlobalItems(const std::wstring& prefix, bool constantsOnlyByPrefix, std::vector<ui::TCompletionItem>& out);
    const std::vector<ui::TCompletionItem>& Constants();

    TScriptHost& m_host;
    std::unique_ptr<ui::TImageList> m_images;
    std::map<ITypeInfo*, std::unique_ptr<TCompletionType>> m_types; // each holds its ITypeInfo
    std::map<std::wstring, ITypeInfo*> m_typesByGuid;              // GUID and locale -> m_types key
    std::vector<ui::TCompletionItem> m_constants;
    int m_constantLibs = -1; // the exposed libraries m_constants was read from
    std::chrono::milliseconds m_readLimit{2000};
    int m_liveReads = 0;
};

} // namespace qs
