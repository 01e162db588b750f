#pragma once
// The application lock count: each automation object holds one lock. When the last lock goes,
// a program started by a client ends, and so does one whose window a close has hidden; a
// program the user started, with its window still up, keeps running.

class CAppLock
{
public:
    static void Lock();
    // The last unlock ends the program (see above) from the event loop, not from the caller.
    static void Unlock();
    static int GetLockCount();

    // False while the program runs for a client rather than for the user.
    static void SetUserControl(bool bUserControl);
    static bool GetUserControl();

private:
    static void OnReleaseAll();
};
