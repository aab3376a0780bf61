#include <string.h>

#include "exports.h"

const export_row *find_export(const char *name)
{
    for (const export_row &row : exports)
        if (!strcmp(row.name, name)) return &row;
    return nullptr;
}

__asm__(
    ".text\n"
    ".globl _abi_call\n"
    "_abi_call:\n"
    "    pushl %ebp\n"
    "    movl  %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    movl  %esp, %edi\n"          /* ESP before the arguments */
    "    andl  $-16, %esp\n"
    "    subl  24(%ebp), %esp\n"
    "    movl  12(%ebp), %esi\n"
    "    movl  16(%ebp), %ecx\n"
    "1:  testl %ecx, %ecx\n"
    "    jz    2f\n"
    "    decl  %ecx\n"
    "    pushl (%esi,%ecx,4)\n"
    "    jmp   1b\n"
    "2:  movl  %esp, %ebx\n"          /* ESP with the arguments pushed */
    "    call  *8(%ebp)\n"
    "    movl  20(%ebp), %ecx\n"
    "    testl %ecx, %ecx\n"
    "    jz    3f\n"
    "    movl  %eax, (%ecx)\n"
    "3:  movl  %esp, %eax\n"
    "    subl  %ebx, %eax\n"          /* bytes popped by the callee */
    "    movl  %edi, %esp\n"
    "    popl  %edi\n"
    "    popl  %esi\n"
    "    popl  %ebx\n"
    "    popl  %ebp\n"
    "    ret\n");
