#!/usr/bin/python3
"""A straightforward NumPy implementation of the design engine's method, kept as a reference.

Written from the mathematics, not from the C++: its own cell layout (the same choices), its own
kernels (closed form along strike through Carlson's R_D, midpoint sub-cells over each cell), its own
comprehensive set and Compare R loop without the engine's pair-matrix ranking or low-rank updates.
Two uses:
  judge FILE.sqx...            figure of merit of the union of the files, computed independently
  optimise N READINGS MAXK     time the straightforward optimiser on a regular line of N electrodes
Not part of the build; numpy only.
"""
import itertools
import struct
import sys
import time

import numpy as np

DAMPING = 5.0
RIDGE = 1e-3


def cell_model(x, depth=0.0):
    x = np.sort(np.asarray(x, dtype=float))
    a = float(np.median(np.diff(x)))
    length = x[-1] - x[0]
    depth = depth if depth > 0 else 0.2 * length
    depth = max(depth, 0.5 * a)
    xe = [x[0] - 7 * a, x[0] - 3 * a, x[0] - a]
    for i in range(len(x) - 1):
        xe += [x[i], x[i] + 0.5 * (x[i + 1] - x[i])]
    xe += [x[-1], x[-1] + a, x[-1] + 3 * a, x[-1] + 7 * a]
    ze = [0.0]
    t = 0.5 * a
    while ze[-1] + t < depth * (1 - 1e-6):
        ze.append(ze[-1] + t)
        t *= 1.1
    if len(ze) > 1 and depth - ze[-1] < 0.5 * (ze[-1] - ze[-2]):
        ze[-1] = depth
    else:
        ze.append(depth)
    ze.append(2 * depth)
    cells = []
    for l in range(len(ze) - 1):
        for c in range(len(xe) - 1):
            target = xe[c] >= x[0] - 1e-9 and xe[c + 1] <= x[-1] + 1e-9 and ze[l + 1] <= depth * (1 + 1e-9)
            cells.append((xe[c], xe[c + 1], ze[l], ze[l + 1], target, l, c))
    ncol = len(xe) - 1
    n = len(cells)
    C = np.zeros((n, n))
    for k, (_, _, _, _, _, l, c) in enumerate(cells):
        for (l2, c2) in ((l, c + 1), (l + 1, c)):
            if l2 < len(ze) - 1 and c2 < ncol:
                j = l2 * ncol + c2
                C[k, k] += 1; C[j, j] += 1; C[k, j] -= 1; C[j, k] -= 1
    C += RIDGE * np.eye(n)
    return x, np.array([c[:4] for c in cells]), np.array([c[4] for c in cells]), C, depth


def carlson_rd(x, y, z):
    x, y, z = np.array(x, float), np.array(y, float), np.array(z, float)
    s, fac = np.zeros_like(x), 1.0
    while True:
        sx, sy, sz = np.sqrt(x), np.sqrt(y), np.sqrt(z)
        lam = sx * (sy + sz) + sy * sz
        s += fac / (sz * (z + lam))
        fac *= 0.25
        x, y, z = 0.25 * (x + lam), 0.25 * (y + lam), 0.25 * (z + lam)
        ave = 0.2 * (x + y + 3 * z)
        dx, dy, dz = (ave - x) / ave, (ave - y) / ave, (ave - z) / ave
        if max(np.abs(dx).max(), np.abs(dy).max(), np.abs(dz).max()) <= 0.0015:
            break
    ea, eb = dx * dy, dz * dz
    ec, ed = ea - eb, ea - 6 * eb
    ee = ed + ec + ec
    return 3 * s + fac * (1 + ed * (-3 / 14 + 9 / 88 * ed - 9 / 52 * dz * ee)
                          + dz * (ee / 6 + dz * (-9 / 22 * ec + dz * 3 / 26 * ea))) / (ave * np.sqrt(ave))


def density(px, pz, xp, xq):
    dp, dq = px - xp, px - xq
    s, t, a = dp * dp + pz * pz, dq * dq + pz * pz, dp * dq + pz * pz
    rst = carlson_rd(np.zeros_like(s), s, t)
    near = np.abs(t - s) <= 1e-5 * (s + t)
    tt = np.where(near, t + 1.0, t)  # avoid 0/0 where the limit is used
    diff = np.where(near, 9 * np.pi / (16 * ((s + t) / 2) ** 2.5),
                    (carlson_rd(np.zeros_like(s), tt, s) - rst) / (tt - s))
    return (rst + (a - s) * diff) / (6 * np.pi ** 2)


def kernels(x, cells):
    n = len(x)
    # Midpoint sub-cells: 4 x 4, 16 x 16 in the top layer where the 1/r singularity sits.
    pts, owner, area = [], [], []
    for k, (x0, x1, z0, z1) in enumerate(cells):
        m = 16 if z0 == 0 else 4
        u = (np.arange(m) + 0.5) / m
        X, Z = np.meshgrid(x0 + (x1 - x0) * u, z0 + (z1 - z0) * u)
        pts.append(np.stack([X.ravel(), Z.ravel()], 1))
        owner.append(np.full(m * m, k))
        area.append(np.full(m * m, (x1 - x0) * (z1 - z0) / (m * m)))
    pts, owner, area = np.concatenate(pts), np.concatenate(owner), np.concatenate(area)
    J = np.zeros((len(cells), n * (n - 1) // 2))
    p = 0
    for i in range(n):
        for j in range(i + 1, n):
            J[:, p] = np.bincount(owner, density(pts[:, 0], pts[:, 1], x[i], x[j]) * area, minlength=len(cells))
            p += 1
    return J


def pair_index(n, i, j):
    i, j = np.minimum(i, j), np.maximum(i, j)
    return i * n - i * (i + 1) // 2 + (j - i - 1)


def geometric(x, A, B, M, N):
    inv = lambda p, q: 1 / np.abs(x[p] - x[q])
    d = inv(A, M) - inv(A, N) - inv(B, M) + inv(B, N)
    return 2 * np.pi / d


def all_quads(n):
    q = np.array(list(itertools.combinations(range(n), 4)))
    i, j, k, l = q.T
    A = np.concatenate([i, i, i]); B = np.concatenate([j, l, k])
    M = np.concatenate([k, j, j]); N = np.concatenate([l, k, l])
    return A, B, M, N


class Problem:
    def __init__(self, x, depth=0.0):
        self.x, self.cells, self.target, self.C, self.depth = cell_model(x, depth)
        n = len(self.x)
        self.n = n
        self.J = kernels(self.x, self.cells)
        A, B, M, N = all_quads(n)
        K = geometric(self.x, A, B, M, N)
        P = np.stack([pair_index(n, A, M), pair_index(n, A, N), pair_index(n, B, M), pair_index(n, B, N)], 1)
        S = np.array([1, -1, -1, 1.0]) * K[:, None]
        W = np.zeros((self.J.shape[1],) * 2)
        for s in range(4):
            for t in range(4):
                np.add.at(W, (P[:, s], P[:, t]), S[:, s] * S[:, t])
        gtg = self.J @ W @ self.J.T
        self.lam = DAMPING * np.mean(np.diag(gtg)[self.target]) / len(K)
        self.rc = self.rdiag(np.linalg.inv(gtg + self.lam * self.C))

    def rdiag(self, ainv):
        return 1 - self.lam * np.einsum('ij,ji->i', ainv, self.C)

    def rows(self, A, B, M, N):
        n, J = self.n, self.J
        K = geometric(self.x, A, B, M, N)
        return (K * (J[:, pair_index(n, A, M)] - J[:, pair_index(n, A, N)]
                     - J[:, pair_index(n, B, M)] + J[:, pair_index(n, B, N)])).T

    def figure(self, G):
        ainv = np.linalg.inv(G.T @ G + self.lam * self.C)
        return np.mean((self.rdiag(ainv) / self.rc)[self.target]), ainv


def read_sqx(path):
    b = open(path, 'rb').read()
    el = {}
    for k in range(1, 2000):
        t, num, x, y, z = struct.unpack_from('<hhfff', b, 1592 + 16 * k)
        if t == 2:
            el[k] = x
    count = struct.unpack_from('<i', b, 225604)[0]
    quads = [struct.unpack_from('<hhhh', b, 33604 + 12 * q) for q in range(count)]
    return el, quads


def judge(files):
    el, quads = read_sqx(files[0])
    for f in files[1:]:
        quads += read_sqx(f)[1]
    numbers = sorted(el, key=lambda k: el[k])
    x = np.array([el[k] for k in numbers])
    idx = {k: i for i, k in enumerate(numbers)}
    prob = Problem(x)
    q = np.array([[idx[e] for e in qq] for qq in quads])
    G = prob.rows(q[:, 0], q[:, 1], q[:, 2], q[:, 3])
    print(f"{' + '.join(files)}: figure of merit {prob.figure(G)[0]:.4f} ({len(quads)} readings)")


def optimise(n, readings, maxk):
    t0 = time.time()
    prob = Problem(np.arange(n, dtype=float))
    t1 = time.time()
    A, B, M, N = all_quads(n)
    K = geometric(prob.x, A, B, M, N)
    keep = np.abs(K) <= maxk
    A, B, M, N = A[keep], B[keep], M[keep], N[keep]
    count = min(n - 3, max(1, readings // 5))
    start = [int(round(r * (n - 4) / (count - 1))) if count > 1 else 0 for r in range(count)]
    design = [(i, i + 3, i + 1, i + 2) for i in start]
    taken = np.zeros(len(A), bool)
    for (a, b, m, nn) in design:
        taken |= (A == a) & (B == b) & (M == m) & (N == nn)
    q = np.array(design)
    fig, ainv = prob.figure(prob.rows(q[:, 0], q[:, 1], q[:, 2], q[:, 3]))
    w = prob.lam / prob.rc[prob.target]
    cap = max(1, int(0.04 * readings))
    it = 0
    while len(design) < readings:
        P = ainv @ prob.J
        gains = np.full(len(A), -np.inf)
        for s in range(0, len(A), 20000):
            sl = slice(s, s + 20000)
            k = geometric(prob.x, A[sl], B[sl], M[sl], N[sl])
            pa = lambda X: (X[:, pair_index(n, A[sl], M[sl])] - X[:, pair_index(n, A[sl], N[sl])]
                            - X[:, pair_index(n, B[sl], M[sl])] + X[:, pair_index(n, B[sl], N[sl])]) * k
            U, G = pa(P), pa(prob.J)
            CU = prob.C @ U
            gains[sl] = (w[:, None] * U[prob.target] * CU[prob.target]).sum(0) / (1 + (G * U).sum(0))
        gains[taken] = -np.inf
        order = np.lexsort((np.arange(len(A)), -gains))
        added = []
        for r in order[:max(64, 16 * cap)]:
            if len(added) >= min(cap, readings - len(design)) or not gains[r] > 0:
                break
            g = prob.rows(A[r:r + 1], B[r:r + 1], M[r:r + 1], N[r:r + 1])[0]
            unit = g / np.linalg.norm(g)
            if any(abs(unit @ o) >= fig for o in added):
                continue
            added.append(unit)
            taken[r] = True
            design.append((A[r], B[r], M[r], N[r]))
            u = ainv @ g
            ainv -= np.outer(u, u) / (1 + g @ u)
        it += 1
        q = np.array(design)
        if it % 16 == 0:
            fig, ainv = prob.figure(prob.rows(q[:, 0], q[:, 1], q[:, 2], q[:, 3]))
        else:
            fig = np.mean((prob.rdiag(ainv) / prob.rc)[prob.target])
        print(f"{len(design)}/{readings} readings, figure of merit {fig:.4f}", file=sys.stderr)
    q = np.array(design)
    fig = prob.figure(prob.rows(q[:, 0], q[:, 1], q[:, 2], q[:, 3]))[0]
    t2 = time.time()
    print(f"numpy optimise {n}/{readings}: figure of merit {fig:.4f}, problem {t1 - t0:.1f} s, "
          f"optimise {t2 - t1:.1f} s, total {t2 - t0:.1f} s")


if __name__ == '__main__':
    if sys.argv[1] == 'judge':
        judge(sys.argv[2:])
    else:
        optimise(int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]))
