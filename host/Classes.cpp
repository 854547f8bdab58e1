// The root object, persistent objects, the property filer pair and the
// component ownership and notification rules.
#include "host/Classes.h"

#include "host/Exceptions.h"
#include "host/Streams.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

namespace host {

namespace {

bool SameTextAscii(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsValidIdent(const std::string& s) {
    if (s.empty()) return false;
    auto alpha = [](unsigned char c) { return std::isalpha(c) || c == '_'; };
    if (!alpha(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin() + 1, s.end(), [&](char c) {
        return alpha(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
    });
}

void EraseValue(std::vector<TComponent*>& list, TComponent* value) {
    auto it = std::find(list.begin(), list.end(), value);
    if (it != list.end()) list.erase(it);
}

} // namespace

// ---------------------------------------------------------------- TObject

std::string TObject::ClassName() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    std::string name = (status == 0 && demangled) ? demangled.get() : mangled;
    const std::string prefix = "host::";
    if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
    return name;
}

// ---------------------------------------------------------------- TPersistent

void TPersistent::Assign(TPersistent* source) {
    if (source == nullptr) AssignError(nullptr);
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) {
    if (dest == nullptr) throw EConvertError("Cannot assign a " + ClassName() + " to a nil");
    dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* source) {
    const std::string sourceName = source ? source->ClassName() : std::string("nil");
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

std::string TPersistent::GetNamePath() {
    std::string result = ClassName();
    if (TPersistent* owner = GetOwner()) {
        const std::string ownerPath = owner->GetNamePath();
        if (!ownerPath.empty()) result = ownerPath + "." + result;
    }
    return result;
}

TPersistent* TPersistent::GetOwner() {
    return nullptr;
}

void TPersistent::DefineProperties(TFiler*) {}

// ---------------------------------------------------------------- TWriter

namespace {

void WriteInt32(TStream& stream, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                    static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    stream.WriteBuffer(bytes, 4);
}

int32_t ReadInt32(TStream& stream) {
    unsigned char bytes[4];
    stream.ReadBuffer(bytes, 4);
    return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                                uint32_t{bytes[3]} << 24);
}

int32_t CheckedLength(size_t size) {
    if (size > static_cast<size_t>(INT32_MAX)) throw EWriteError("Stream write error");
    return static_cast<int32_t>(size);
}

void WriteBytes(TStream& stream, const std::string& value) {
    const int32_t length = CheckedLength(value.size());
    WriteInt32(stream, length);
    if (length > 0) stream.WriteBuffer(value.data(), length);
}

std::string ReadBytes(TStream& stream) {
    const int32_t length = ReadInt32(stream);
    // A length beyond what is left is corrupt data, not a request to allocate.
    if (length < 0 || length > stream.Size() - stream.Position()) throw EReadError("Stream read error");
    std::string value(static_cast<size_t>(length), '\0');
    if (length > 0) stream.ReadBuffer(value.data(), length);
    return value;
}

} // namespace

void TWriter::WriteProperties(TPersistent* instance) {
    if (instance) instance->DefineProperties(this);
    WriteInt32(Stream(), 0);
}

void TWriter::WriteRecord(const std::string& name, const std::function<void(TStream&)>& body) {
    // The body goes to memory first because its length precedes it.
    TMemoryStream buffer;
    body(buffer);
    if (name.empty()) throw EWriteError("Stream write error");
    WriteBytes(Stream(), name);
    const int32_t length = CheckedLength(static_cast<size_t>(buffer.Size()));
    WriteInt32(Stream(), length);
    if (length > 0) Stream().WriteBuffer(buffer.Memory(), length);
}

void TWriter::DefineProperty(const std::string& name, TReaderProc, TWriterProc writeData, bool hasData) {
    if (!hasData || !writeData) return;
    WriteRecord(name, [&](TStream& body) {
        TWriter nested(body);
        nested.SetRoot(Root());
        nested.SetAncestor(Ancestor());
        writeData(nested);
    });
}

void TWriter::DefineBinaryProperty(const std::string& name, TStreamProc, TStreamProc writeData,
                                   bool hasData) {
    if (!hasData || !writeData) return;
    WriteRecord(name, [&](TStream& body) { writeData(body); });
}

void TWriter::WriteInteger(int32_t value) {
    WriteInt32(Stream(), value);
}

void TWriter::WriteBoolean(bool value) {
    const unsigned char byte = value ? 1 : 0;
    Stream().WriteBuffer(&byte, 1);
}

void TWriter::WriteString(const std::string& value) {
    WriteBytes(Stream(), value);
}

// ---------------------------------------------------------------- TReader

void TReader::ReadProperties(TPersistent* instance) {
    for (;;) {
        const std::string name = ReadBytes(Stream());
        if (name.empty()) break;
        TMemoryStream body;
        const std::string bytes = ReadBytes(Stream());
        if (!bytes.empty()) body.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        body.SetPosition(0);

        FPropName = name;
        FBody = &body;
        FFound = false;
        try {
            if (instance) instance->DefineProperties(this);
        } catch (...) {
            FBody = nullptr;
            throw;
        }
        FBody = nullptr;
        if (!FFound) throw EReadError("Property " + name + " does not exist");
    }
}

void TReader::DefineProperty(const std::string& name, TReaderProc readData, TWriterProc, bool) {
    if (FFound || FBody == nullptr || !readData || !SameTextAscii(name, FPropName)) return;
    FFound = true;
    TReader nested(*FBody);
    nested.SetRoot(Root());
    readData(nested);
}

void TReader::DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc, bool) {
    if (FFound || FBody == nullptr || !readData || !SameTextAscii(name, FPropName)) return;
    FFound = true;
    readData(*FBody);
}

int32_t TReader::ReadInteger() {
    return ReadInt32(Stream());
}

bool TReader::ReadBoolean() {
    unsigned char byte = 0;
    Stream().ReadBuffer(&byte, 1);
    return byte != 0;
}

std::string TReader::ReadString() {
    return ReadBytes(Stream());
}

// ---------------------------------------------------------------- TComponent

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Each partner is unlinked before it is told, so a Notification override
    // that does not call the base, or that registers or frees others, cannot
    // leave this soon-dangling pointer behind.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        EraseValue(other->FFreeNotifies, this);
        other->Notification(this, opRemove);
    }
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        Remove(child);
        // The siblings still alive hear of it, so none keeps a pointer to a
        // freed sibling while its own destructor runs.
        for (size_t i = 0; i < FComponents.size(); ++i)
            FComponents[i]->Notification(child, opRemove);
        delete child;
    }
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int32_t index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FComponents[static_cast<size_t>(index)];
}

int32_t TComponent::ComponentIndex() const {
    if (!FOwner) return -1;
    const auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

void TComponent::SetComponentIndex(int32_t value) {
    if (!FOwner) return;
    auto& list = FOwner->FComponents;
    const int32_t current = ComponentIndex();
    if (current < 0) return;
    const int32_t count = static_cast<int32_t>(list.size());
    value = std::clamp(value, 0, count - 1);
    if (value == current) return;
    list.erase(list.begin() + current);
    list.insert(list.begin() + value, this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameTextAscii(c->FName, name)) return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const std::string& currentName,
                                const std::string& newName) const {
    if (component && !SameTextAscii(currentName, newName) && component->FOwner == this &&
        FindComponent(newName))
        throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetName(const std::string& value) {
    if (value == FName) return;
    if (!value.empty() && !IsValidIdent(value))
        throw EComponentError("'" + value + "' is not a valid component name");
    if (FOwner) FOwner->ValidateRename(this, FName, value);
    FName = value;
}

void TComponent::SetDesigning(bool value, bool setChildren) {
    SetComponentStateItem(csDesigning, value);
    if (setChildren)
        for (TComponent* c : FComponents)
            c->SetDesigning(value, true);
}

void TComponent::Destroying() {
    if (FComponentState.Contains(csDestroying)) return;
    FComponentState.Include(csDestroying);
    for (TComponent* c : FComponents)
        c->Destroying();
}

void TComponent::SetComponentStateItem(TComponentStateItem item, bool value) noexcept {
    if (value)
        FComponentState.Include(item);
    else
        FComponentState.Exclude(item);
}

void TComponent::Insert(TComponent* component) {
    FComponents.push_back(component);
    component->FOwner = this;
}

void TComponent::Remove(TComponent* component) {
    EraseValue(FComponents, component);
    component->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component || component->FOwner == this) return;
    // A component cannot own one of its owners: that would be a cycle no destructor ends.
    for (TComponent* o = this; o; o = o->FOwner)
        if (o == component) throw EComponentError("Cannot insert a component into itself");
    if (!component->FName.empty() && FindComponent(component->FName))
        throw EComponentError("A component named " + component->FName + " already exists");
    if (component->FOwner) component->FOwner->RemoveComponent(component);
    Insert(component);
    if (FComponentState.Contains(csDesigning)) component->SetDesigning(true);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (!component || component->FOwner != this) return;
    Notification(component, opRemove);
    Remove(component);
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (FOwner && component->FOwner == FOwner) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
        FFreeNotifies.push_back(component);
    if (std::find(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this) ==
        component->FFreeNotifies.end())
        component->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    EraseValue(FFreeNotifies, component);
    EraseValue(component->FFreeNotifies, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove && component) RemoveFreeNotification(component);
    // Index loop: a handler may remove owned components while we walk.
    for (size_t i = 0; i < FComponents.size(); ++i)
        FComponents[i]->Notification(component, operation);
}

void TComponent::Loaded() {
    FComponentState.Exclude(csLoading);
}

void TComponent::CollectTree(std::vector<TComponent*>& out) {
    out.push_back(this);
    for (TComponent* c : FComponents)
        c->CollectTree(out);
}

bool TComponent::OwnsInTree(const TComponent* component) const {
    for (const TComponent* c : FComponents)
        if (c == component || c->OwnsInTree(component)) return true;
    return false;
}

void TComponent::BeginLoading() {
    std::vector<TComponent*> tree;
    CollectTree(tree);
    for (TComponent* c : tree)
        c->FComponentState = c->FComponentState + TComponentState{csLoading, csReading};
}

void TComponent::EndLoading() {
    std::vector<TComponent*> tree;
    CollectTree(tree);
    for (TComponent* c : tree)
        c->FComponentState.Exclude(csReading);
    for (TComponent* c : tree) {
        // Only dereference components still in this tree: an earlier Loaded may have freed one.
        if (c != this && !OwnsInTree(c)) continue;
        if (c->FComponentState.Contains(csLoading)) c->Loaded();
    }
}

TPersistent* TComponent::GetOwner() {
    return FOwner;
}

std::string TComponent::GetNamePath() {
    return FName;
}

} // namespace host
