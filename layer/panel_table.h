// The control table and data description from which every panel of the
// module (texture, shader, texture node) is made; each panel deletes what it
// does not show.
#pragma once

#include "lwxpanel.h"

namespace korvalith {

// Ended by a zero id.
LWXPanelControl* sharedControls();
LWXPanelDataDesc* sharedDataDescription();

// Panel callbacks that forward to the viewed instance (a LayerInstance).
void* panelGetValue(void* instance, unsigned int vid);
LWXPRefreshCode panelSetValue(void* instance, unsigned int vid, void* value);
// Change notification: a changed value asks the host to update the instance;
// it asks the panel for no refresh of its own.
LWXPRefreshCode panelChanged(LWXPanelID panel, unsigned int cid, unsigned int vid, int event);

// Popup functions whose data is the control's data.
int itemRefCount(void* itemRef);
const char* itemRefName(void* itemRef, int index);
int choiceListCount(void* list);
const char* choiceListName(void* list, int index);
// The "Channel" popup: the channel choices of the image that is its data.
int imageChannelCount(void* image);
const char* imageChannelName(void* image, int index);

}  // namespace korvalith
