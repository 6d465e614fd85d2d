// What a modal alert holds while it waits for the user. The main thread
// blocks in the alert as it would on the desktop this program was made
// for: the main loop's timers (the autorelease drain, the Carbon event
// queue and every program timer among them) do not fire, and distributed
// notifications that arrive are kept. Once the last hold ends, the timers
// that came due fire in the order of their deadlines and the notifications
// are delivered in the order they came. Holds nest; main thread only.
#pragma once

// Begins one hold; each is ended by one EndModalHold.
void BeginModalHold();
void EndModalHold();

// One hold for the length of a scope.
class ModalHold {
public:
    ModalHold() { BeginModalHold(); }
    ~ModalHold() { EndModalHold(); }
    ModalHold(const ModalHold&) = delete;
    ModalHold& operator=(const ModalHold&) = delete;
};
