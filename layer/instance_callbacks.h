// The host callbacks that every layer instance answers alike: destroy,
// copy, load, save, description, the used items and changed ids, render
// initialisation, clean-up and time change. Each is guarded: nothing thrown
// inside crosses the host boundary, the host gets the callback's failure
// result instead.
#pragma once

#include "lwhandler.h"
#include "lwrender.h"

namespace korvalith {

using InstanceCreate = LWInstance(void* priv, void* context, LWError* error);

// Fills the host's instance record: create, and the shared callbacks over
// the LayerInstance the handle points to.
void fillInstanceFuncs(LWInstanceFuncs* inst, InstanceCreate* create);
// Fills the host's item record, when it hands one and is not Modeler
// (Modeler tracks no items).
void fillItemFuncs(LWItemFuncs* item);
void fillRenderFuncs(LWRenderFuncs* rend);

}  // namespace korvalith
