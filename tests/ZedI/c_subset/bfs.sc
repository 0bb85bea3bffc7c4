// A breadth-first search over a 24 x 25 board, as a computer player walks it:
// a queue of cells in a local two-dimensional array, distances in a global one.
#include "print.h"

#define W 24
#define H 25

char board[H][W + 1] = {
    "...#..#.#.#.....#....#..",
    "........###.....#.......",
    "........#.............#.",
    "......#.#.#.....#.......",
    "........#.#.....#..#....",
    "....##..###...#.#.......",
    "###.#######.########.###",
    "........#..##...#.......",
    "........#.......#.......",
    "...........#............",
    "........#....#..#.......",
    "........#.......#.......",
    "###.#######.########.###",
    ".......##.#...#.#...#...",
    "........##..#...#.#.....",
    "......#........#.#......",
    "........#.....#.#.......",
    "........#.....#.#...#...",
    "###.#######.########.###",
    "........##......#..#....",
    ".#..#...#.......##.....#",
    "#.......#.....#.#.......",
    "...........##.......#...",
    "........#..#....#.......",
    ".....#..#..#....#.......",
};

int dist[H][W];

int bfs(int sx, int sy)
{
    int q[600][2];
    int dx[4] = {1, -1, 0, 0};
    int dy[4] = {0, 0, 1, -1};
    int head = 0, tail = 0, x, y, k, nx, ny, reached = 0;
    for (y = 0; y < H; y++)
        for (x = 0; x < W; x++) dist[y][x] = -1;
    dist[sy][sx] = 0;
    q[tail][0] = sx;
    q[tail][1] = sy;
    tail++;
    while (head < tail) {
        x = q[head][0];
        y = q[head][1];
        head++;
        reached++;
        for (k = 0; k < 4; k++) {
            nx = x + dx[k];
            ny = y + dy[k];
            if (nx >= 0 && nx < W && ny >= 0 && ny < H) {
                if (board[ny][nx] != '#' && dist[ny][nx] < 0) {
                    dist[ny][nx] = dist[y][x] + 1;
                    q[tail][0] = nx;
                    q[tail][1] = ny;
                    tail++;
                }
            }
        }
    }
    return reached;
}

int main()
{
    int x, y, far, sum, open = 0;
    for (y = 0; y < H; y++)
        for (x = 0; x < W; x++)
            if (board[y][x] == '.') open++;
    print("open cells %d\n", open);
    print("reached %d from the corner\n", bfs(0, 0));
    far = 0;
    sum = 0;
    for (y = 0; y < H; y++) {
        for (x = 0; x < W; x++) {
            if (dist[y][x] > far) far = dist[y][x];
            if (dist[y][x] > 0) sum = sum + dist[y][x];
            if (board[y][x] == '#') print("#");
            else if (dist[y][x] < 0) print("?");
            else print("%c", '0' + dist[y][x] % 10);
        }
        print("\n");
    }
    print("farthest %d, total %d\n", far, sum);
    far = bfs(12, 9);
    print("reached %d from the middle, %d steps to the corner\n", far, dist[0][0]);
    return 0;
}
