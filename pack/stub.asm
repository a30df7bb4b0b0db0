; The start of a packed file: ELF header, one program header and the decoder; then the tail,
; the code that runs the decoded image in place of this process, which the packer codes ahead
; of the image (coded, its 164 bytes cost some 120). The packer (vpack) fills in the fields
; marked "set by the packer", appends the model set and the coded stream, and leaves the tail
; out of the file. Written for size: header fields the kernel ignores hold data and code, and
; the registers, which the kernel clears before entry, serve as zero initial values.
;
; The decoder repeats pack/cm.cpp step for step; both must change together.
;
; Assembled with -DDUMP, the same decoder writes the image to stdout instead of running the
; tail: the host-side decoder the tests and the packer's check compare against the program.

BITS 64
DEFAULT REL

%define BASE    0x400000            ; where the file is mapped
%define NMODELS 12                  ; = nmodels in cm.h
%define TBITS   24                  ; = table_bits in cm.h
%define SUMMUL  117                 ; = sum_mul in cm.h

; Zero-filled memory past the file (the program header's memory size covers it all).
%define TABLE   0x1000000           ; counter pairs, 2 << TBITS bytes, on huge-page boundaries
%define DECODED (TABLE / 2)         ; the decoded data, the tail then the image (the length is
                                    ; 16 bits); zeros before it (= image_at in cm.h)
%define MODELS  (TABLE + (2 << TBITS)) ; per model: the counter pair of the last bit (8 bytes, the
                                    ; address in the first 4),
                                    ; then per model: its context hash for the current byte
; A damaged stream may make the decoder read up to 32 bits for each bit it writes, some 2 MiB
; past the stream for the largest image: all of it lies inside the memory size.
%define MEMSIZE (MODELS + 0x100 - BASE)

; rsi walks the model records, 2 bytes each, and rbp + 4 * rsi addresses a model's cell, and
; 8 * NMODELS bytes further its hash.
%define STATE   (MODELS - 4 * (models - $$ + BASE) - 8)
%define CELL(reg) [rbp + reg * 4]
%define HASH(reg) [rbp + reg * 4 + 8 * NMODELS]

; The address transform undone (addr_inverse in cm.h) from rsi, the image, to rdi, its end:
; each address field less its own address. Keeps rsi.
%macro untransform 0
        push    rsi
%%scan: lodsb                       ; the opcode
        cmp     al, 0xE8
        je      %%field             ; call rel32
        cmp     al, 0x0F
        je      %%second
        cmp     al, 0xFF
        je      %%modrm
        and     al, 0xF9
        cmp     al, 0x89
        jne     %%next              ; none of 89, 8B, 8D, 8F
        db      0x3C                ; (cmp al, imm8: steps over the one-byte lodsb)
%%second:
        lodsb                       ; 0F: its second byte
%%modrm:
        lodsb
        and     al, 0xC7
        cmp     al, 0x05
        jne     %%next              ; not RIP-relative
%%field:
        sub     [rsi], esi
        lodsd
%%next: cmp     rsi, rdi
        jb      %%scan
        pop     rsi
%endmacro

        org     BASE

ehdr:   db      0x7F, "ELF", 2, 1, 1, 0     ; 64-bit, little-endian, current version
entry:                              ; e_ident padding: 8 bytes of code
%if DECODED != 1 << 23
%error "the start-up code sets DECODED as bit 23"
%endif
        bts     edi, 23             ; rdi: DECODED (the registers start at 0)
        inc     ebx                 ; the first byte: no bits yet
        jmp     short entry2
        dw      2                   ; e_type: executable
        dw      0x3E                ; e_machine: x86-64
        dd      tail_end - tail     ; e_version, which the kernel ignores: the tail's length
                                    ; (read by the packer)
        dq      entry               ; e_entry
        dq      phdr - ehdr         ; e_phoff
entry2:                             ; e_shoff, e_flags, e_ehsize: 14 bytes of code
        mov     r12, [mul64]
        mov     ebp, STATE
        jmp     short main
        times   0x36 - ($ - $$) nop ; (the code must end here)
        dw      0x38                ; e_phentsize
phdr:   dd      1                   ; p_type: load; also e_phnum 1, e_shentsize 0
        dd      7                   ; p_flags: read, write, execute; also e_shnum, e_shstrndx
        dq      0                   ; p_offset
        dq      BASE                ; p_vaddr
mul64:  dq      0x9E3779B97F4A7C15  ; p_paddr, unused: the hash multiplier (hash_mul in cm.h)
        dq      0                   ; p_filesz (set by the packer)
        dq      MEMSIZE             ; p_memsz
                                    ; p_align (ignored for a fixed address): code from here on
main:   inc     r13d                ; the range starts at 1: the stream's first 31 bits are read

; ---- Decoding. rdi: the next image byte; ebx: the byte's bits so far behind a leading 1;
; ---- edx: the last bit negated (0 or -1); r13d: the range; r14d: the stream window; r15: the bit position in
; ---- the stream; r11d: the checksum; r12: the hash multiplier; rbp: see STATE.
renorm:                             ; while the range is below 2^31, double it and read a bit
        add     r13d, r13d          ; (entered first with the range 1)
        bt      [stream], r15
        inc     r15                 ; keeps CF, the bit just read
        adc     r14d, r14d
bit_loop:
        test    r13d, r13d
        jns     renorm

.predict:                           ; r9d, r10d: weighted counts of zeros and ones, from 4. At a
                                    ; byte's first bit rax holds the last byte (0 at the first),
                                    ; so lodsw leaves nothing above the model's pair there.
        push    4
        pop     r9
        mov     r10d, r9d
        mov     esi, models
.model: lodsw                       ; al: mask, ah: weight; rax has no other bits
        cmp     ebx, 1
        jne     .hashed             ; the byte's first bit: hash its context
        push    8
        pop     rcx
.expand:                            ; r8: the mask's bits widened to bytes, bit 7 to the top byte
        shl     r8, 8
        rol     al, 1
        sbb     r8b, r8b
        loop    .expand
        and     r8, [rdi - 8]       ; the selected bytes of the 8 before, the latest on top
        add     r8, rax
        imul    r8, r12
        mov     HASH(rsi), r8
.hashed:
        mov     r8, HASH(rsi)
        add     r8, rbx
        imul    r8, r12
        shr     r8, 64 - TBITS
        lea     r8, [r8 * 2 + TABLE]
        mov     ecx, r8d            ; (the table lies below 4 GiB)
        xchg    ecx, CELL(rsi)
        jrcxz   .fresh              ; (the first bit)
        sub     ecx, edx            ; the last bit's pair learns it: its count grows, at most
        add     byte [rcx], 1       ; to 255; the other count halves, rounded up
        sbb     byte [rcx], 0
        xor     ecx, 1
        shr     byte [rcx], 1
        adc     byte [rcx], 0
.fresh:                             ; (the table's pages fault in as they are read, then written)
        movzx   ecx, byte [r8]      ; zeros seen
        movzx   r8d, byte [r8 + 1]  ; ones seen
        movzx   eax, ah
        jrcxz   .once
        test    r8d, r8d
        jnz     .mixed
.once:  lea     eax, [rax + rax * 2] ; only one value seen: the model counts three times
.mixed: imul    ecx, eax
        add     r9d, ecx
        imul    r8d, eax
        add     r10d, r8d
        cmp     sil, (models_end - $$ + BASE) & 0xFF
        jne     .model

        lea     ecx, [r9 + r10]     ; bound = range * ones / all
        mov     eax, r13d
        mul     r10d                ; (edx:eax: the product; the bound fits 32 bits)
        div     ecx
        sub     r13d, eax           ; a 0 keeps the range above the bound,
        cmp     r14d, eax
        cmovb   r13d, eax           ; a 1 the range below it
        sbb     edx, edx            ; edx: the bit negated; CF: the bit
        jc      .one
        sub     r14d, eax
.one:   adc     bl, bl              ; the bit joins the byte; CF: the leading 1 left it,
        jnc     .next               ; the byte is complete
        xchg    eax, ebx
        stosb
        add     r11d, eax           ; checksum: h = (h + byte) * SUMMUL
        imul    r11d, r11d, SUMMUL
        cmp     di, strict word 0   ; DECODED's low 16 address bits are 0: di counts the bytes
length  equ     $ - 2               ; the decoded length, tail and image (set by the packer, at
                                    ; stub_layout::length)
        jae     decoded
        push    1
        pop     rbx
.next:  jmp     bit_loop

; ---- Decoded: check it, then run the tail (or, in the dump stub, write the image).
decoded:
        cmp     r11d, strict dword 0
sum     equ     $ - 4               ; the checksum of tail and image (set by the packer, at
                                    ; stub_layout::sum)
%ifndef DUMP
        je      tail                ; rdi: the image's end
%else
        jne     damaged
        mov     esi, image
        untransform
        mov     edx, edi
        sub     edx, esi
        push    1                   ; write(1, image, length); status 0 when it all went
        pop     rdi
        push    1
        pop     rax
        syscall
        cmp     rax, rdx
        jne     .fail
        xor     edi, edi
        jmp     quit
.fail:  call    fail
        db      .e - $ - 1, "write failed", 10
.e:
%endif
damaged:
        call    fail
        db      .e - $ - 1, "damaged file", 10
.e:
fail:                               ; "intro-tiny: " and the message (length first), status 1
        push    2
        pop     rdi
        mov     esi, prefix
        push    prefix_len
        pop     rdx
        push    1
        pop     rax
        syscall
        pop     rsi
        lodsb
        mov     dl, al
        mov     al, 1               ; rax: what the first write returned; if that failed, so
        syscall                     ; would this one
        dec     edi
quit:   push    60                  ; exit: the stub has no other thread
        pop     rax
        syscall

prefix:         db      "intro-tiny: "
prefix_len      equ     $ - prefix

; The model set (set by the packer): NMODELS pairs of context mask and weight; the coded stream
; follows directly.
models:         times 2 * NMODELS db 0
models_end:
stream:

; ---- The tail: decoded at DECODED ahead of the image, run once the checksum holds. It makes an
; ---- in-memory file of the image and executes it in place of this process; each failure is
; ---- named through the stub's fail.
        section tail follows=.text vstart=DECODED align=1
tail:   push    1                   ; memfd_create("", MFD_CLOEXEC): rdi is at a zero byte
        pop     rsi
        mov     eax, 319
        syscall
        test    eax, eax
        js      fail_memfd
        xchg    eax, ebx            ; rbx: the file descriptor
        mov     esi, image
        untransform
        mov     edx, edi
        sub     edx, esi            ; rdx: the length; syscalls keep it
        mov     edi, ebx            ; write(fd, image, length)
        push    1
        pop     rax
        syscall
        cmp     eax, edx            ; (a refusal, -errno, is no length)
        jne     fail_write
        mov     ax, 322             ; execveat(fd, "", argv, envp, AT_EMPTY_PATH); rax held
        dec     esi                 ; the length, below 2^16; "": the tail's last byte
        pop     rcx                 ; argc
        mov     rdx, rsp
        lea     r10, [rsp + rcx * 8 + 8]
        mov     r8d, 0x1000
        syscall
        call    fail                ; each failure: the call leaves its message's address
        db      .e - $ - 1, "execveat failed", 10
.e:
fail_memfd:
        call    fail
        db      .e - $ - 1, "memfd_create failed", 10
.e:
fail_write:
        call    fail
        db      .e - $ - 1, "write failed", 10
.e:     db      0                   ; the empty path execveat runs
tail_end:
image:                              ; the image follows (= image_at + the tail's length in cm.h)
