// Walking a folder tree. A TFolderIterator does all its work in Create: it
// reads the folder through the catalog (in catalog order: by name, case
// ignored, at every level) and collects a copy of every item's FSRef in a
// list of memory blocks, hidden items (names beginning with ".") included.
// Subclasses act on the items as they come (GotFolder, GotFile) and prune
// the walk (RecurseFolder, SetUserCanceled).
//
// Only folders are entered: never a package such as Tool.app or a folder
// whose name holds a point (FSIsFolder), never a symbolic link, and never
// a hidden folder, for which no hook is called either. With maxDepth 0
// nothing below the root is entered; with maxDepth N the walk enters N + 1
// levels below it.
#pragma once

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TObjectUnit.h>
#include <Units/Utilities/FSUtilities.h>

// The walk state, as the recursion saves and restores it.
struct IteratorNodeInfo {
    // What GotFolder answered for the folder being walked (0 at the root);
    // handed to the hooks of its items.
    SInt32 data;
    // The folder being walked; empty at the root.
    ShortString63 name;
    // Its nesting level, 0 at the root.
    SInt16 depth;
    SInt16 maxDepth;
    // Items seen in the whole walk, hidden ones included (wraps past 32767).
    SInt16 count;
    // The folder's path below the root: "/A", then "/A/B"; empty at the root.
    ShortString path;
};

// The all-zero record.
IteratorNodeInfo DefaultIteratorNodeInfo();

class TFolderIterator : public TObject {
    BRINDLET_CLASS(TFolderIterator, TObject)

public:
    // Walks `folder` as deep as `maxDepth` allows and hands the list of
    // FSRef blocks to `files`, which the caller owns from then on (the
    // iterator keeps only a borrowed reference). A file, a folder that
    // cannot be read or no file at all gives an empty list.
    static TFolderIterator* Create(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files);

    // Stops the walk after the item at hand: no further item of the
    // current folder is read, and each enclosing folder stops too.
    virtual void SetUserCanceled(bool value);
    // Whether to enter a folder; the base enters every folder (FSIsFolder).
    virtual bool RecurseFolder(const FSRef& folder, SInt16 depth);
    // An item that is not hidden; the answer for a folder becomes the data
    // handed to its items. The base does nothing and answers 0.
    virtual SInt32 GotFolder(const FSRef& folder, SInt32 data);
    virtual SInt32 GotFile(const FSRef& file, SInt32 data);

    bool UserCanceled() const { return userCanceled_; }
    // Where the walk is (for the hooks).
    const IteratorNodeInfo& State() const { return state_; }
    // The list handed out by Create; borrowed.
    TPointerArray* Files() const { return files_; }

protected:
    TFolderIterator() = default;

    // The body of Create, for subclasses' own constructors:
    //   static TMyIterator* Create(...) { return CreateIterator<TMyIterator>(folder, maxDepth, files); }
    template <typename T>
    static T* CreateIterator(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files)
    {
        T* iterator = CreateInstance<T>();
        iterator->Iterate(folder, maxDepth, files);
        return iterator;
    }
    void Iterate(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files);

private:
    void WalkFolder(const FSRef& folder, const IteratorNodeInfo& saved);
    void HandleItem(const FSRef& item);

    bool userCanceled_ = false;
    TPointerArray* files_ = nullptr;
    IteratorNodeInfo state_ = DefaultIteratorNodeInfo();
};

// Every item below `folder` at any depth (maxDepth 32767), as a new list of
// FSRef blocks the caller releases.
TPointerArray* FSCopyFolderFiles(const FSRef& folder);
