// What every server activation shares: the prologue that stores the host's
// lookup and words, the version tests, and the held "Info Messages 2" of
// handler activations.
#pragma once

#include "host_access.h"
#include "lwhost.h"
#include "lwmodule.h"

namespace korvalith {

// Stores the lookup, then reads "System ID" and "Product Info" while
// "Info Messages 2" is acquired.
void activationPrologue(GlobalFunc* lookup);

// Handler activations: the prologue, then "Info Messages 2" held for the
// rest of the activation and released on every way out.
class HandlerActivation {
public:
    explicit HandlerActivation(GlobalFunc* lookup);
    const LWMessageFuncs* messages() const { return messages_.table(); }

private:
    struct Prologue {
        explicit Prologue(GlobalFunc* lookup) { activationPrologue(lookup); }
    } prologue_;
    HostService<LWMessageFuncs> messages_;
};

}  // namespace korvalith
