#pragma once

namespace vandrel {

// The desktop's list of programs started at login, as far as this application's own entry goes.
// Each call may fail (the desktop refusing, a folder that cannot be written); failures carry no detail
// because the settings show none.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    virtual bool isEnabled() const = 0;
    // Adds (or rewrites) the entry. False when it could not be written.
    virtual bool registerItem() = 0;
    // Removes the entry; an entry that is not there counts as removed. False when it stays.
    virtual bool unregisterItem() = 0;
};

}  // namespace vandrel
