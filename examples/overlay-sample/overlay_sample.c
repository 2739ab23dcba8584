/* overlay-sample: a small overlay in C on VelKorvexOverlay.dll. It waits for the game (whose
 * render proxy opens the game pipe numbered by the game's process id), asks the render proxy to
 * set the input hooks on each of the game's window threads, takes the input, and prints every
 * record the game sends until Escape is pressed in the game or the game closes the pipe; then
 * it gives the input back.
 *
 *   overlay-sample GAME_PROCESS_ID [SECONDS_TO_WAIT_FOR_THE_GAME]
 */
#include "VelKorvexOverlay.h"

#include <stdio.h>
#include <stdlib.h>

#define KEY_ESCAPE 0x1B          /* VK_ESCAPE */
#define KEY_RELEASED 0x80000000u /* key_flags bit 31: the key went up */

static const char* const record_names[] = {"?",
                                           "RenderActive",
                                           "InputActive",
                                           "MouseInput",
                                           "KeyboardInput",
                                           "ValuePair",
                                           "Init",
                                           "InitAllThreads",
                                           "InitAllThreadsAllHooks",
                                           "TakeScreenshot",
                                           "Notice"};

static void print_record(const vko_record* r) {
    if (r->status != VKO_DECODED)
        printf("malformed message: tag %u, %u bytes\n", (unsigned)r->tag, (unsigned)r->size);
    else if (r->type == VKO_MOUSE_INPUT)
        printf("MouseInput message=0x%X x=%d y=%d wheel=%d\n", (unsigned)r->message, (int)r->x,
               (int)r->y, (int)r->wheel_delta);
    else if (r->type == VKO_KEYBOARD_INPUT)
        printf("KeyboardInput key=0x%X %s\n", (unsigned)r->virtual_key,
               r->key_flags & KEY_RELEASED ? "up" : "down");
    else
        printf("%s\n", record_names[r->type]);
    fflush(stdout);
}

int main(int argc, char** argv) {
    uint32_t game, seconds, threads[64], count = 0, i;
    vko_pipe* pipe = NULL;
    vko_record record;
    vko_result result;

    if (argc < 2) {
        fprintf(stderr, "usage: overlay-sample GAME_PROCESS_ID [SECONDS_TO_WAIT_FOR_THE_GAME]\n");
        return 2;
    }
    game = (uint32_t)strtoul(argv[1], NULL, 10);
    seconds = argc > 2 ? (uint32_t)strtoul(argv[2], NULL, 10) : 30;
    printf("overlay-sample (VelKorvexOverlay %s): waiting up to %u s for game %u\n", vko_version(),
           (unsigned)seconds, (unsigned)game);
    fflush(stdout);
    result = vko_create_server(game, seconds * 1000, NULL, &pipe);
    if (result != VKO_OK) {
        fprintf(stderr, "overlay-sample: no game: %s\n", vko_result_text(result));
        return 1;
    }

    /* The render proxy in the game sets the hooks: one Init per thread that owns a window. */
    result = vko_list_threads(game, VKO_WINDOW_THREADS, threads, 64, &count);
    if (result == VKO_BUFFER_TOO_SMALL)
        count = 64;
    for (i = 0; i < count; ++i)
        vko_send_init(pipe, threads[i], 0);
    vko_send_input_active(pipe, 1);
    printf("game connected, %u window threads hooked; input taken: press Escape in the game to "
           "give it back\n",
           (unsigned)count);
    fflush(stdout);

    while ((result = vko_read_record(pipe, VKO_WAIT_FOREVER, &record)) == VKO_OK) {
        print_record(&record);
        if (record.status == VKO_DECODED && record.type == VKO_KEYBOARD_INPUT &&
            record.virtual_key == KEY_ESCAPE && !(record.key_flags & KEY_RELEASED))
            break;
    }
    if (result != VKO_OK)
        printf("the game closed the pipe\n");
    vko_send_input_active(pipe, 0);
    vko_close(pipe);
    printf("input given back\n");
    return 0;
}
