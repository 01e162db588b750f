#pragma once
// A faster way through a database's objects, offered by libraries that hold their catalogue
// close at hand (snapshot files): forward passes over consecutive parts of a list that read
// names, dates and scripts as stored, without a model object per item and without a request
// per script. Optional: a database that has none answers null to QueryObjectScan, and the
// search walks its IObjectList instead. Both ways give the same answers.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class IDatabaseObject;

// The positions m_nFirst to m_nLast (both included) of a list, in the library's own
// numbering.
struct SScanPart
{
    std::int64_t m_nFirst = 0;
    std::int64_t m_nLast = 0;
};

// One pass over one part. Not shared between threads; passes of the same database may run
// on different threads at once.
class IObjectScanCursor
{
public:
    virtual ~IObjectScanCursor() = default;
    // Moves to the next object of the part, in list order. False at the end, or when the
    // pass broke (then Failed()).
    virtual bool Next() = 0;
    // The pass broke somewhere (a read failed): what it gave cannot be trusted.
    virtual bool Failed() const = 0;
    // The current object's name and creation-date text as its model object gives them;
    // false (and an empty text) when the library has none.
    virtual bool GetName(std::u16string& name) = 0;
    virtual bool GetCreateDate(std::u16string& dateText) = 0;
    // True when the current object has a script, that is when its model object's Script
    // would succeed.
    virtual bool HasScript() = 0;
    // The current object's script as stored: UTF-8, read as quarrow::FromUtf8 reads it (so
    // its model object's Script gives FromUtf8 of these bytes). Valid until Next. False when
    // the object has no script.
    virtual bool ScriptBytes(std::string_view& script) = 0;
    // The current object as a model object, for the match list.
    virtual std::shared_ptr<IDatabaseObject> MakeObject() = 0;
};

class IObjectScan
{
public:
    virtual ~IObjectScan() = default;
    // Splits the list of a type code into at most `parts` consecutive parts, in list order;
    // an empty list may give none. The parts together hold exactly the list. False when the
    // library cannot answer now (the caller then walks the list).
    virtual bool PlanScan(int typeCode, int parts, std::vector<SScanPart>& plan) = 0;
    // A pass over one part of the list of a type code. `withScripts`: the caller wants nearly
    // every object's script, so they are read with the rows rather than looked up one at a
    // time. Null when no pass can be opened.
    virtual std::unique_ptr<IObjectScanCursor> OpenScan(int typeCode, const SScanPart& part,
                                                        bool withScripts) = 0;
};
