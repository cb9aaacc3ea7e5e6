#pragma once
// Where this machine's sound goes: through a sound server (PulseAudio, or PipeWire through its
// PulseAudio service) when one answers, else straight to the sound cards. The wave-input layer
// and the recording control ask the same question, so that both name the same devices.

enum class TSoundSystem { Server, Cards };

// Decided at the first question. A machine found with neither a server nor a capture card is
// asked again, at most once a second, so that a server started later is found; a server, once it
// answered, is kept even while it restarts, and so are cards that were found.
TSoundSystem SystemSound();
