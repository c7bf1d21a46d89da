/* Node handlers ("NodeHandler" and "NodeInterface"). Plain C. */
#ifndef KORVALITH_SDK_LWNODES_H
#define KORVALITH_SDK_LWNODES_H

#define LWNODE_HCLASS "NodeHandler"
#define LWNODE_ICLASS "NodeInterface"

/* A surface's node editor. */
typedef struct st_NodeEditor *NodeEditorID;

#endif
