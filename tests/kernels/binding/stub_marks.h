#pragma once

// What the stand-in libraries return, so a test can tell their functions from ours.
constexpr int32_t kStubStatus = 4242;
constexpr float kStubMark = -4242.5f;
