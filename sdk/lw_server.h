/* Server class names this system registers. */
#ifndef KORVALITH_SDK_LW_SERVER_H
#define KORVALITH_SDK_LW_SERVER_H

#define LWLAYOUTGENERIC_CLASS "LayoutGeneric"
#define LWSHADER_HCLASS "ShaderHandler"
#define LWSHADER_ICLASS "ShaderInterface"
#define LWTEXTURE_HCLASS "TextureHandler"
#define LWTEXTURE_ICLASS "TextureInterface"
#define LWNODE_HCLASS "NodeHandler"
#define LWNODE_ICLASS "NodeInterface"

#endif
