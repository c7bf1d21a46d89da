/* Host identification services. Both answer with the 32-bit word itself in
 * place of a pointer: (uint32_t)(uintptr_t) global(name, GFUSE_TRANSIENT). */
#ifndef KORVALITH_SDK_LW_HOST_H
#define KORVALITH_SDK_LW_HOST_H

#define LWSYSTEMID_GLOBAL "System ID"
#define LWPRODUCTINFO_GLOBAL "Product Info"

/* System ID: the top four bits hold the application type. */
#define LWSYS_TYPEBITS 0xF0000000u
#define LWSYS_TYPE_SHIFT 28
#define LWSYS_LAYOUT 0
#define LWSYS_MODELER 1
#define LWSYS_SCREAMERNET 2 /* render node, no user interface */

/* Product Info: bits 20 to 23 hold the major version. */
#define LWINF_MAJORBITS 0x00F00000u
#define LWINF_MAJOR_SHIFT 20

#endif
