; The start of a packed file: ELF header, one program header, the decoder and the code that runs
; the decoded image in place of this process. The packer (vpack) fills in the fields marked
; "set by the packer" and appends the model set and the coded stream. Written for size: the
; header fields the kernel ignores hold data and code, and the kernel's zeroed registers at entry
; serve as initial values.
;
; The decoder repeats pack/cm.cpp step for step; both must change together.
;
; Assembled with -DDUMP, the same decoder writes the image to stdout instead of running it: the
; host-side decoder the tests compare against the unpacked program.

BITS 64
DEFAULT REL

%define BASE    0x400000            ; where the file is mapped
%define NMODELS 14                  ; = nmodels in cm.h
%define TBITS   22                  ; = table_bits in cm.h
%define MAXLEN  0x100000            ; largest image: 1 MiB

; Zero-filled memory past the file (the program header's memory size covers it all).
%define HASHES  (BASE + 0x200000)     ; NMODELS context hashes of the current byte, 8 bytes each
%define CELLS   (BASE + 0x200100)     ; NMODELS pointers to the counter pairs of the current bit
%define IMAGE   (BASE + 0x300000)     ; the decoded image; the 8 bytes before it are zero
%define TABLE   (BASE + 0x400000)     ; counter pairs, 2 << TBITS bytes
; A damaged stream may make the decoder read up to 32 bits for each bit it writes; up to MAXLEN
; bytes that is 32 MiB past the stream, and all of it must be mapped.
%define MEMSIZE 0x4000000

        org     BASE

ehdr:   db      0x7F, "ELF", 2, 1, 1, 0     ; 64-bit, little-endian, current version
length: dd      0                   ; e_ident padding: the image's length (set by the packer)
sum:    dd      0                   ; e_ident padding: its checksum (set by the packer)
        dw      2                   ; e_type: executable
        dw      0x3E                ; e_machine: x86-64
        dd      1                   ; e_version
        dq      entry               ; e_entry
        dq      phdr - ehdr         ; e_phoff
entry:                              ; e_shoff, e_flags, e_ehsize: 14 bytes of code
        mov     edi, IMAGE
        mov     ebp, [length]
        jmp     short main
        times   0x36 - ($ - ehdr) db 0
        dw      0x38                ; e_phentsize
phdr:   dd      1                   ; p_type: load; also e_phnum 1, e_shentsize 0
        dd      7                   ; p_flags: read, write, execute; also e_shnum, e_shstrndx
        dq      0                   ; p_offset
        dq      BASE                ; p_vaddr
mul64:  dq      0x9E3779B97F4A7C15  ; p_paddr, unused: the hash multiplier (hash_mul in cm.h)
filesz: dq      0                   ; p_filesz (set by the packer)
        dq      MEMSIZE             ; p_memsz
                                    ; p_align (ignored for a fixed address): code from here on
main:
        cmp     ebp, MAXLEN
        ja      damaged
        add     rbp, rdi            ; rbp: end of the image; r12-r15 start at 0 (kernel)

; ---- Decoding: r12d, r13d the interval [x1, x2], r14d the stream window x, r15 the stream bit
; ---- position, rdi the next image byte, ebx the byte's bits so far behind a leading 1.
byte_loop:
        cmp     rdi, rbp
        jae     decoded
        mov     rdx, [rdi - 8]      ; the 8 bytes before, the latest in the top byte
        mov     esi, models
.hash:  lodsw                       ; al: mask, ah: weight
        movzx   eax, al
        mov     ah, al
        push    8
        pop     rcx
.expand:                            ; r8: the mask's bits widened to bytes, bit 7 to the top byte
        shl     r8, 8
        add     ah, ah
        sbb     r8b, r8b
        loop    .expand
        and     r8, rdx
        add     r8, rax
        imul    r8, [mul64]
        mov     [rsi * 4 + HASHES - 4 * (models - $$) - 4 * BASE - 8], r8
        cmp     esi, models_end
        jb      .hash

        push    1
        pop     rbx
bit_loop:
.renorm:                            ; while x1 and x2 agree in the top bit, shift it out
        mov     eax, r12d
        xor     eax, r13d
        js      .predict
        add     r12d, r12d
        stc
        adc     r13d, r13d
        bt      [stream], r15
        inc     r15                 ; keeps CF, the bit just read
        adc     r14d, r14d
        jmp     .renorm

.predict:                           ; r9, r10: weighted zero and one counts
        push    1
        pop     r9
        push    1
        pop     r10
        mov     esi, models
.model: lodsw                       ; ah: weight
        mov     rcx, [rsi * 4 + HASHES - 4 * (models - $$) - 4 * BASE - 8]
        add     rcx, rbx
        imul    rcx, [mul64]
        shr     rcx, 64 - TBITS
        lea     rcx, [rcx * 2 + TABLE]
        mov     [rsi * 4 + CELLS - 4 * (models - $$) - 4 * BASE - 8], rcx
        movzx   edx, byte [rcx]     ; zeros seen
        movzx   ecx, byte [rcx + 1] ; ones seen
        movzx   eax, ah
        jrcxz   .once
        test    edx, edx
        jnz     .mixed
.once:  add     eax, eax            ; only one value seen: the model counts twice
.mixed: imul    edx, eax
        add     r9, rdx
        imul    ecx, eax
        add     r10, rcx
        cmp     esi, models_end
        jb      .model

        lea     rcx, [r9 + r10]     ; p = ones * 65536 / all
        mov     rax, r10
        shl     rax, 16
        xor     edx, edx
        div     rcx
        mov     ecx, r13d           ; mid = x1 + (x2 - x1) * p / 65536
        sub     ecx, r12d
        mul     rcx
        shr     rax, 16
        add     eax, r12d
        cmp     eax, r14d           ; CF: x above mid, a 0
        jb      .zero
        mov     r13d, eax
        jmp     .coded
.zero:  inc     eax
        mov     r12d, eax
.coded: cmc
        adc     ebx, ebx            ; the bit joins the byte
        mov     edx, ebx
        and     edx, 1              ; rdx: the bit

        mov     esi, models         ; each model learns the bit
.learn: lodsw
        mov     rcx, [rsi * 4 + CELLS - 4 * (models - $$) - 4 * BASE - 8]
        cmp     byte [rcx + rdx], 255
        adc     byte [rcx + rdx], 0 ; its count grows, at most to 255
        xor     edx, 1
        mov     al, [rcx + rdx]     ; the other count, if 2 or more, halves and keeps one more
        cmp     al, 2
        jb      .kept
        shr     al, 1
        inc     eax
        mov     [rcx + rdx], al
.kept:  xor     edx, 1
        cmp     esi, models_end
        jb      .learn

        test    bh, bh
        jz      bit_loop
        xchg    eax, ebx
        stosb
        jmp     byte_loop

; ---- The image is decoded: undo the call-address transform, check it, run it.
decoded:
        mov     esi, IMAGE
.call:  lea     rax, [rsi + 5]
        cmp     rax, rbp
        ja      .check
        lodsb
        cmp     al, 0xE8
        jne     .call
        lea     eax, [rsi - IMAGE - 1]
        sub     [rsi], eax
        lodsd
        jmp     .call
.check: mov     esi, IMAGE          ; checksum: h = (h + byte) * 0x01000193
        xor     ecx, ecx
.sum:   lodsb
        movzx   eax, al
        add     ecx, eax
        imul    ecx, ecx, 0x01000193
        cmp     rsi, rbp
        jb      .sum
        cmp     ecx, [sum]
        jne     damaged

        mov     esi, IMAGE
        mov     rdx, rbp
        sub     edx, esi            ; rdx: the length
%ifdef DUMP
        push    1                   ; write(1, image, length); status 0 when it all went
        pop     rdi
        push    1
        pop     rax
        syscall
        cmp     rax, rdx
        jne     fail_write
        xor     edi, edi
        jmp     quit
%else
        mov     eax, 319            ; memfd_create("", MFD_CLOEXEC); syscalls keep rdx
        mov     edi, empty
        push    1
        pop     rsi
        syscall
        test    eax, eax
        js      fail_memfd
        xchg    eax, edi            ; write(fd, image, length)
        mov     esi, IMAGE
        push    1
        pop     rax
        syscall
        cmp     rax, rdx
        jne     fail_write
        mov     eax, 322            ; execveat(fd, "", argv, envp, AT_EMPTY_PATH)
        mov     esi, empty
        lea     rdx, [rsp + 8]
        mov     r10, [rsp]
        lea     r10, [rsp + r10 * 8 + 16]
        mov     r8d, 0x1000
        syscall
        mov     esi, m_exec
        jmp     fail
fail_memfd:
        mov     esi, m_memfd
        jmp     fail
%endif
fail_write:
        mov     esi, m_write
        jmp     fail
damaged:
        mov     esi, m_damaged
fail:                               ; "intro-tiny: " and the message at rsi (length first), status 1
        push    rsi
        push    2
        pop     rdi
        mov     esi, prefix
        push    m_prefix_len
        pop     rdx
        push    1
        pop     rax
        syscall
        pop     rsi
        lodsb
        movzx   edx, al
        push    1
        pop     rax
        syscall
        push    1
        pop     rdi
quit:   mov     eax, 231            ; exit_group
        syscall

prefix:         db      "intro-tiny: "
m_prefix_len    equ     $ - prefix
m_damaged:      db      .e - $ - 1, "damaged file", 10
.e:
m_write:        db      .e - $ - 1, "write failed", 10
.e:
%ifndef DUMP
m_memfd:        db      .e - $ - 1, "memfd_create failed", 10
.e:
m_exec:         db      .e - $ - 1, "execveat failed", 10
.e:
empty   equ     ehdr + 0x21         ; a zero byte: the high bytes of e_phoff
%endif

; The model set (set by the packer): NMODELS pairs of context mask and weight; the coded stream
; follows directly.
models:         times 2 * NMODELS db 0
models_end:
stream:
