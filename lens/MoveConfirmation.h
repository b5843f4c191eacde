#pragma once

#include "link/ReplyReader.h"

// What the controller has confirmed of one absolute move since its command
// left, gathered from the facts of its replies, and whether the wait for the
// move is over. The panel's set-point recall and lensdesk-cli's moves and
// recall decide with it, so both end a wait on the same replies.
//
// A controller confirms a finished move with "zoomDone", "focusDone" or
// "irisDone", and an error reply ("errorFocus", "errorParam", "errorRange")
// ends any wait. Position reports confirm nothing: they come while a drive
// still moves. Whether a controller also confirms the focus and iris it held
// through a zoom move is its own affair: some send "focusDone" and
// "irisDone" after "zoomDone", others "zoomDone" alone.
class MoveConfirmation
{
public:
    enum class Await {
        // The end of a zoom move: "zoomDone", or both "focusDone" and
        // "irisDone" (the held axes confirmed), or an error reply.
        ZoomSettled,
        // "focusDone" or an error reply.
        FocusDone,
        // "irisDone" or an error reply.
        IrisDone,
    };

    explicit MoveConfirmation(Await await)
        : m_await(await)
    { }

    void note(ReplyFact::Kind kind);

    bool isComplete() const;
    bool endedWithError() const { return m_error; }
    // A zoom move ended with "zoomDone" alone: the controller may still
    // confirm the focus and iris it held, which must not be taken for the
    // end of the next move. Nothing more is owed after an error.
    bool mayConfirmHeldAxes() const;

private:
    Await m_await;
    bool m_zoomDone = false;
    bool m_focusDone = false;
    bool m_irisDone = false;
    bool m_error = false;
};
