// Run-length GIF compression. The output is an ordinary LZW code stream: it
// never searches for repeated strings, but sends a pixel and then codes for
// runs of growing length, so that the decoder's table fills with entries
// standing for runs of one pixel. The encoder tracks, without a table of
// its own, which run lengths the decoder holds, its code width, and when a
// clear code is due; it counts the cost of a run with triangle numbers.
#include "VistelGIF.h"

void VistelGIF::rle_write_block(tag_RLE* rle)
{
    BYTE len = (BYTE)rle->oblen;
    g_outfile->Write(&len, 1, 1);
    g_outfile->Write(rle->oblock, 1, rle->oblen);
    rle->oblen = 0;
}

void VistelGIF::rle_block_out(unsigned char c, tag_RLE* rle)
{
    rle->oblock[rle->oblen++] = c;
    if (rle->oblen >= 255) rle_write_block(rle);
}

void VistelGIF::rle_block_flush(tag_RLE* rle)
{
    if (rle->oblen > 0) rle_write_block(rle);
}

void VistelGIF::rle_output(int val, tag_RLE* rle)
{
    rle->obuf |= (unsigned int)val << rle->obits;
    rle->obits += rle->out_bits;
    while (rle->obits >= 8) {
        rle_block_out((unsigned char)(rle->obuf & 0xFF), rle);
        rle->obuf >>= 8;
        rle->obits -= 8;
    }
}

void VistelGIF::rle_output_flush(tag_RLE* rle)
{
    if (rle->obits > 0) rle_block_out((unsigned char)(rle->obuf & 0xFF), rle);
    rle_block_flush(rle);
}

void VistelGIF::rle_clear(tag_RLE* rle)
{
    rle->out_bits = rle->out_bits_init;
    rle->out_bump = rle->out_bump_init;
    rle->out_clear = rle->out_clear_init;
    rle->out_count = 0;
    rle->rl_table_max = 0;
    rle->just_cleared = 1;
}

void VistelGIF::rle_output_plain(int c, tag_RLE* rle)
{
    rle->just_cleared = 0;
    rle_output(c, rle);
    rle->out_count++;
    if (rle->out_count >= rle->out_bump) {
        rle->out_bump += 1 << rle->out_bits;
        rle->out_bits++;
    }
    if (rle->out_count >= rle->out_clear) {
        rle_output(rle->code_clear, rle);
        rle_clear(rle);
    }
}

void VistelGIF::rle_reset_out_clear(tag_RLE* rle)
{
    rle->out_clear = rle->out_clear_init;
    if (rle->out_count >= rle->out_clear) {
        rle_output(rle->code_clear, rle);
        rle_clear(rle);
    }
}

unsigned int VistelGIF::rle_isqrt(unsigned int x)
{
    if (x < 2) return x;
    unsigned int r = 1, v = x;
    while (v) {
        v >>= 2;
        r <<= 1;
    }
    for (;;) {
        v = ((x / r) + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}

unsigned int VistelGIF::rle_compute_triangle_count(unsigned int count, unsigned int nrepcodes)
{
    unsigned int cost = 0;
    const unsigned int perrep = (nrepcodes * (nrepcodes + 1)) / 2;
    while (count >= perrep) {
        cost += nrepcodes;
        count -= perrep;
    }
    if (count > 0) {
        unsigned int n = rle_isqrt(count);
        while (n * (n + 1) >= 2 * count) n--;
        while (n * (n + 1) < 2 * count) n++;
        cost += n;
    }
    return cost;
}

void VistelGIF::rle_flush_fromclear(int count, tag_RLE* rle)
{
    rle->out_clear = rle->max_ocodes;
    rle->rl_table_pixel = rle->rl_pixel;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            rle->rl_table_max = 1;
            rle_output_plain(rle->rl_pixel, rle);
            count--;
        } else if (count >= n) {
            rle->rl_table_max = n;
            rle_output_plain(rle->rl_basecode + n - 2, rle);
            count -= n;
        } else if (count == 1) {
            rle->rl_table_max++;
            rle_output_plain(rle->rl_pixel, rle);
            count = 0;
        } else {
            rle->rl_table_max++;
            rle_output_plain(rle->rl_basecode + count - 2, rle);
            count = 0;
        }
        n = rle->out_count == 0 ? 1 : n + 1;
    }
    rle_reset_out_clear(rle);
}

void VistelGIF::rle_flush_clearorrep(int count, tag_RLE* rle)
{
    const int withclear = 1 + (int)rle_compute_triangle_count(count, rle->max_ocodes);
    if (withclear < count) {
        rle_output(rle->code_clear, rle);
        rle_clear(rle);
        rle_flush_fromclear(count, rle);
    } else {
        for (; count > 0; count--) rle_output_plain(rle->rl_pixel, rle);
    }
}

void VistelGIF::rle_flush_withtable(int count, tag_RLE* rle)
{
    int repmax = count / rle->rl_table_max;
    int leftover = count % rle->rl_table_max;
    int repleft = leftover ? 1 : 0;
    if (rle->out_count + repmax + repleft > rle->max_ocodes) {
        repmax = rle->max_ocodes - rle->out_count;
        leftover = count - repmax * rle->rl_table_max;
        repleft = 1 + (int)rle_compute_triangle_count(leftover, rle->max_ocodes);
    }
    if (1 + (int)rle_compute_triangle_count(count, rle->max_ocodes) < repmax + repleft) {
        rle_output(rle->code_clear, rle);
        rle_clear(rle);
        rle_flush_fromclear(count, rle);
        return;
    }
    rle->out_clear = rle->max_ocodes;
    for (; repmax > 0; repmax--)
        rle_output_plain(rle->rl_basecode + rle->rl_table_max - 2, rle);
    if (leftover) {
        if (rle->just_cleared) {
            rle_flush_fromclear(leftover, rle);
        } else if (leftover == 1) {
            rle_output_plain(rle->rl_pixel, rle);
        } else {
            rle_output_plain(rle->rl_basecode + leftover - 2, rle);
        }
    }
    rle_reset_out_clear(rle);
}

void VistelGIF::rle_flush(tag_RLE* rle)
{
    if (rle->rl_count == 1) {
        rle_output_plain(rle->rl_pixel, rle);
        rle->rl_count = 0;
        return;
    }
    if (rle->just_cleared) {
        rle_flush_fromclear(rle->rl_count, rle);
    } else if (rle->rl_table_max < 2 || rle->rl_table_pixel != rle->rl_pixel) {
        rle_flush_clearorrep(rle->rl_count, rle);
    } else {
        rle_flush_withtable(rle->rl_count, rle);
    }
    rle->rl_count = 0;
}

void VistelGIF::compressRLE(int init_bits, VsFile* outfile)
{
    tag_RLE rle = {};
    g_outfile = outfile;
    g_init_bits = init_bits;
    rle.code_clear = 1 << (init_bits - 1);
    rle.rl_basecode = rle.code_clear + 2;
    rle.code_eof = rle.code_clear + 1;
    rle.out_bump_init = rle.code_clear - 1;
    rle.out_clear_init = init_bits <= 3 ? 9 : rle.code_clear - 2;
    rle.out_bits_init = init_bits;
    rle.max_ocodes = 4093 - rle.code_clear;
    rle.rl_count = 0;
    rle_clear(&rle);
    rle.oblen = 0;
    rle.obuf = 0;
    rle.obits = 0;

    rle_output(rle.code_clear, &rle);
    for (;;) {
        const int c = GifNextPixel();
        if (rle.rl_count > 0 && c != rle.rl_pixel) rle_flush(&rle);
        if (c == -1) break;
        if (rle.rl_pixel == c) {
            rle.rl_count++;
        } else {
            rle.rl_pixel = c;
            rle.rl_count = 1;
        }
    }
    rle_output(rle.code_eof, &rle);
    rle_output_flush(&rle);
}
