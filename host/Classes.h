// The host framework's object model: the root object, persistent objects that
// can copy themselves and declare extra stored properties to a filer, and
// components that own other components, carry a state and tell each other when
// one of them goes away. Database sessions and datasets are components owned by
// forms; parameter collections are persistent objects that store a binary
// "Data" property through the filer.
#pragma once

#include "host/Generation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace host {

class TObject;
class TPersistent;
class TComponent;
class TFiler;
class TReader;
class TWriter;
class TStream;

// A small set over an enumeration with at most 32 members, standing in for the
// host's `set of` types.
template <typename E> class TSet {
public:
    constexpr TSet() noexcept = default;
    constexpr TSet(std::initializer_list<E> items) noexcept {
        for (E item : items)
            FBits |= Bit(item);
    }

    constexpr bool Contains(E item) const noexcept { return (FBits & Bit(item)) != 0; }
    constexpr bool Empty() const noexcept { return FBits == 0; }
    constexpr void Include(E item) noexcept { FBits |= Bit(item); }
    constexpr void Exclude(E item) noexcept { FBits &= ~Bit(item); }
    constexpr TSet operator+(TSet other) const noexcept { return FromBits(FBits | other.FBits); }
    constexpr TSet operator-(TSet other) const noexcept { return FromBits(FBits & ~other.FBits); }
    constexpr TSet operator*(TSet other) const noexcept { return FromBits(FBits & other.FBits); }
    constexpr bool operator==(const TSet&) const noexcept = default;

private:
    static constexpr uint32_t Bit(E item) noexcept { return uint32_t{1} << static_cast<unsigned>(item); }
    static constexpr TSet FromBits(uint32_t bits) noexcept {
        TSet result;
        result.FBits = bits;
        return result;
    }
    uint32_t FBits = 0;
};

// The root of every host class.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    // The dynamic class's own name: "TStringList", "TLumraSession" (no namespace).
    std::string ClassName() const;
};

// A notification event; "unassigned" is an empty function.
using TNotifyEvent = std::function<void(TObject* sender)>;

// An object that can be copied from another through Assign and that can
// declare stored properties of its own to a filer.
class TPersistent : public TObject {
public:
    // Copies Source into this object. The base asks Source to do it
    // (Source->AssignTo(this)); a null Source raises EConvertError
    // "Cannot assign a nil to a <ClassName>".
    virtual void Assign(TPersistent* source);

    // Name of this object for the designer: the owner's name path, a point and
    // the class name; just the class name without an owner.
    virtual std::string GetNamePath();

    // The object this one belongs to for GetNamePath; none in the base.
    virtual TPersistent* GetOwner();

    // Declares stored properties that are not published ones (binary data and
    // the like) to Filer. The base declares nothing.
    virtual void DefineProperties(TFiler* filer);

protected:
    // Copies this object into Dest. The base raises EConvertError
    // "Cannot assign a <ClassName> to a <Dest ClassName>" ("nil" for a null Dest).
    virtual void AssignTo(TPersistent* dest);

    // Raises the EConvertError for Source ("nil" when null) and this object.
    [[noreturn]] void AssignError(TPersistent* source);
};

// Writes the property body of a DefineProperty declaration.
using TWriterProc = std::function<void(TWriter& writer)>;
// Reads back what a TWriterProc wrote.
using TReaderProc = std::function<void(TReader& reader)>;
// Writes or reads the bytes of a binary property.
using TStreamProc = std::function<void(TStream& stream)>;

// The object a persistent object declares its extra stored properties to.
// A writer calls the write procedures of properties whose HasData is true; a
// reader calls the read procedure of the property it is reading.
class TFiler : public TObject {
public:
    explicit TFiler(TStream& stream) : FStream(&stream) {}

    virtual void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                                bool hasData) = 0;
    virtual void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                                      bool hasData) = 0;

    // The matching object of the ancestor form when an inherited form is
    // written (properties equal to the ancestor's need not be written); none otherwise.
    TPersistent* Ancestor() const noexcept { return FAncestor; }
    void SetAncestor(TPersistent* value) noexcept { FAncestor = value; }
    // The component at the top of what is being written or read.
    TComponent* Root() const noexcept { return FRoot; }
    void SetRoot(TComponent* value) noexcept { FRoot = value; }

    TStream& Stream() const noexcept { return *FStream; }

private:
    TStream* FStream;
    TPersistent* FAncestor = nullptr;
    TComponent* FRoot = nullptr;
};

// Writes an object's defined properties to a stream. Format, one record per
// property whose HasData is true: name (32-bit length, then its bytes), the
// body length (32-bit), then the body; the list ends with a zero-length name.
// Integers are little-endian. A binary property's body is what its write
// procedure wrote; a DefineProperty body is what its TWriterProc wrote
// through the Write* operations of the writer it is given.
class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream) : TFiler(stream) {}

    // Writes Instance's defined properties and the end marker.
    void WriteProperties(TPersistent* instance);

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

    void WriteInteger(int32_t value);
    void WriteBoolean(bool value);
    void WriteString(const std::string& value); // 32-bit length, then the bytes

private:
    void WriteRecord(const std::string& name, const std::function<void(TStream&)>& body);
};

// Reads what TWriter wrote, calling the read procedure of each property as the
// object declares it again. A property the object does not declare raises
// EReadError "Property <name> does not exist"; truncated data raises
// EReadError "Stream read error".
class TReader : public TFiler {
public:
    explicit TReader(TStream& stream) : TFiler(stream) {}

    // Reads records up to the end marker into Instance.
    void ReadProperties(TPersistent* instance);

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

    int32_t ReadInteger();
    bool ReadBoolean();
    std::string ReadString();

private:
    std::string FPropName;    // the property whose record is being read
    TStream* FBody = nullptr; // that record's body, positioned at 0
    bool FFound = false;      // a declaration matched FPropName
};

enum TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateItem : uint8_t {
    csLoading,    // being read from a form file; cleared by Loaded
    csReading,    // its properties are being read
    csWriting,    // its properties are being written
    csDestroying, // its destructor has started
    csDesigning,  // it lives in the host's form designer
    csAncestor,   // it comes from an ancestor form
    csUpdating,   // the designer is updating it
    csFixups      // it has unresolved references to other forms
};
using TComponentState = TSet<TComponentStateItem>;

// A persistent object with an owner, a name and a state. The owner deletes
// the components it owns when it is destroyed, the last inserted first.
// Owner and owned components, and components registered with
// FreeNotification, are told through Notification when a component is
// inserted into or removed from an owner, or destroyed.
class TComponent : public TPersistent {
public:
    // Inserts the new component into Owner's list when Owner is not null.
    explicit TComponent(TComponent* owner);
    // Sets csDestroying, sends opRemove to every component registered through
    // FreeNotification, destroys the owned components (last first), then
    // leaves the owner (which notifies the owner and its other components).
    ~TComponent() override;

    TComponent* Owner() const noexcept { return FOwner; }

    const std::string& Name() const noexcept { return FName; }
    // Renames the component. Raises EComponentError "'<Value>' is not a valid
    // component name" unless Value is empty or an identifier, and
    // "A component named <Value> already exists" when a sibling (same owner,
    // case-insensitive) has it.
    virtual void SetName(const std::string& value);

    int32_t Tag() const noexcept { return FTag; }
    void SetTag(int32_t value) noexcept { FTag = value; }

    int32_t ComponentCount() const noexcept { return static_cast<int32_t>(FComponents.size()); }
    // The I-th owned component; EListError "List index out of bounds (%d)" outside.
    TComponent* Components(int32_t index) const;
    // Position in the owner's list; -1 without owner.
    int32_t ComponentIndex() const;
    void SetComponentIndex(int32_t value);
    // The owned component with that name, ignoring case; null when none or Name is empty.
    TComponent* FindComponent(const std::string& name) const;

    TComponentState ComponentState() const noexcept { return FComponentState; }

    // Includes or excludes csDesigning, on the owned components too when SetChildren.
    void SetDesigning(bool value, bool setChildren = true);
    // Includes csDestroying on this component and its owned ones.
    void Destroying();

    // Takes ownership of Component (removing it from its old owner first) and
    // notifies opInsert. Raises EComponentError on a name clash.
    void InsertComponent(TComponent* component);
    // Gives up ownership without destroying Component, after notifying opRemove.
    void RemoveComponent(TComponent* component);

    // Registers Component to be told (Notification with opRemove) when this
    // component is destroyed, and the other way round. Components of the same
    // owner are told through the owner anyway and are not registered.
    void FreeNotification(TComponent* component);
    // Undoes FreeNotification in both directions.
    void RemoveFreeNotification(TComponent* component);

    // Stand-in for reading a form file until form streaming exists:
    // BeginLoading includes csLoading and csReading on this component and every
    // component it owns, directly or not; EndLoading excludes csReading from
    // all of them, then calls Loaded on each still loading, this component
    // first, then the owned ones depth first in list order (the order a form
    // file lists them). Components destroyed by an earlier Loaded are skipped.
    void BeginLoading();
    void EndLoading();

    // Called once all properties were read from a form file; excludes
    // csLoading. Overrides apply values that were held back while loading and
    // must call the base.
    virtual void Loaded();

    // Tells this component that Component was inserted (opInsert) or is being
    // removed or destroyed (opRemove). The base forgets a removed component's
    // free-notification registration and passes the call to every owned
    // component. Overrides clear their references to Component on opRemove and
    // must call the base.
    virtual void Notification(TComponent* component, TOperation operation);

    TPersistent* GetOwner() override;
    std::string GetNamePath() override; // the component's Name

    // State changes the reader and the designer make.
    void SetComponentStateItem(TComponentStateItem item, bool value) noexcept;

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void ValidateRename(TComponent* component, const std::string& currentName,
                        const std::string& newName) const;
    void CollectTree(std::vector<TComponent*>& out);
    bool OwnsInTree(const TComponent* component) const;

    TComponent* FOwner = nullptr;
    std::string FName;
    int32_t FTag = 0;
    TComponentState FComponentState;
    std::vector<TComponent*> FComponents;   // owned, deleted by the destructor
    std::vector<TComponent*> FFreeNotifies; // registered both ways, never dangling
};

} // namespace host
