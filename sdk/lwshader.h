/* Shader handlers ("ShaderHandler" and "ShaderInterface"). Plain C. */
#ifndef KORVALITH_SDK_LWSHADER_H
#define KORVALITH_SDK_LWSHADER_H

#define LWSHADER_HCLASS "ShaderHandler"
#define LWSHADER_ICLASS "ShaderInterface"

#endif
