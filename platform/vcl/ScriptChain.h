#pragma once
// The install-for-a-scope mechanism of the test scripts (dialogs, modal shows, the
// shell opener): constructing a script makes it the one in force, destroying it
// restores the one before, also when scripts are destroyed out of order. Used on the
// user-interface thread only.

namespace platform {

template <class Script>
class ScriptChain {
public:
    ScriptChain(const ScriptChain&) = delete;
    ScriptChain& operator=(const ScriptChain&) = delete;

    // The newest script still installed, or nullptr.
    static Script* current() { return head(); }

protected:
    ScriptChain() : previous_(head()) { head() = static_cast<Script*>(this); }
    ~ScriptChain()
    {
        if (head() == static_cast<Script*>(this)) {
            head() = previous_;
            return;
        }
        for (ScriptChain* s = head(); s; s = s->previous_) {
            if (s->previous_ == static_cast<Script*>(this)) {
                s->previous_ = previous_;
                break;
            }
        }
    }

private:
    static Script*& head()
    {
        static Script* newest = nullptr;
        return newest;
    }
    Script* previous_;
};

} // namespace platform
