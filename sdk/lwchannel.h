/* Channel handlers: plug-in servers applied to a channel ("Channel Info 2"
 * serverApply) that take part in its evaluation. Plain C.
 *
 * The instance functions' create receives the channel (LWChannelID) as its
 * context. In Modeler the handler record's item member is null. Each
 * evaluation of the channel calls evaluate with the channel, the frame and
 * time asked for and the value so far (the envelope's, after the handlers
 * before this one); the handler gives the channel a new value through
 * setChannel. No flags are defined for channel handlers: flags answers 0. */
#ifndef KORVALITH_SDK_LWCHANNEL_H
#define KORVALITH_SDK_LWCHANNEL_H

#include "lwrender.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWCHANNEL_HCLASS "ChannelHandler"
#define LWCHANNEL_ICLASS "ChannelInterface"
#define LWCHANNEL_VERSION 4

typedef struct st_LWChannelAccess {
    LWChannelID chan; /* the channel being evaluated */
    LWFrame frame;
    LWTime time;
    double value; /* its value so far */
    /* The value of any channel at any time. Asked for the channel being
     * evaluated on this thread, it answers that evaluation's value so far
     * rather than evaluating it again. */
    void (*getChannel)(LWChannelID chan, LWTime time, double *value);
    /* Sets the value of the channel being evaluated; other channels are
     * left alone. */
    void (*setChannel)(LWChannelID chan, const double value);
    const char *(*channelName)(LWChannelID chan);
} LWChannelAccess;

typedef struct st_LWChannelHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    void (*evaluate)(LWInstance inst, const LWChannelAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWChannelHandler;

#ifdef __cplusplus
}
#endif

#endif
